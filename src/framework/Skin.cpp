#include "Skin.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QListView>
#include <QWidget>

namespace tv::framework {

const QString& Office2007BlueStyleSheet() {
  // Colours of the Office 2007 blue scheme: pale blue faces, a warm hover and a deeper pressed
  // state, borders in the scheme's mid blue.
  static const QString sheet = QStringLiteral(R"(
QPushButton, QToolButton {
  color: #15428b;
  border: 1px solid #8db2e3;
  border-radius: 4px;
  padding: 3px 10px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #ffffff, stop:0.45 #e3efff, stop:0.5 #c4ddff, stop:1 #dbeaff);
}
QPushButton:hover, QToolButton:hover {
  border-color: #ffbd69;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #fffef4, stop:0.45 #fff2c4, stop:0.5 #ffd67a, stop:1 #ffe79f);
}
QPushButton:pressed, QToolButton:pressed {
  border-color: #c28a30;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #fcd8a8, stop:0.45 #f9c584, stop:0.5 #f8b35a, stop:1 #fbd28d);
}
QPushButton:focus { border-color: #3d6aa3; }
QPushButton:disabled, QToolButton:disabled { color: #8d8d8d; border-color: #c5d2df; }
QGroupBox {
  color: #15428b;
  border: 1px solid #8db2e3;
  border-radius: 4px;
  margin-top: 10px;
  background: #ffffff;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
QCheckBox { color: #000000; spacing: 6px; }
QCheckBox::indicator, QListView::indicator { width: 13px; height: 13px; }
QListView, QListWidget {
  border: 1px solid #8db2e3;
  background: #ffffff;
}
QListView::item:hover, QListWidget::item:hover { background: #fff2c4; }
QListView::item:selected, QListWidget::item:selected { background: #c4ddff; color: #000000; }
QLineEdit {
  border: 1px solid #8db2e3;
  border-radius: 2px;
  padding: 2px 4px;
  background: #ffffff;
  selection-background-color: #c4ddff;
  selection-color: #000000;
}
QLineEdit:read-only { background: #f7fbff; }
QProgressBar {
  border: 1px solid #8db2e3;
  border-radius: 3px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e9f1fa, stop:1 #ffffff);
  color: #15428b;
  text-align: center;
}
QProgressBar::chunk {
  border-radius: 2px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #a6d3ff, stop:0.5 #5ba7f0, stop:1 #3f8de0);
}
)");
  return sheet;
}

void ApplySkin(QWidget* widget) {
  if (!widget) return;
  widget->setProperty("skin", QString::fromLatin1(kSkinOffice2007Blue));
  widget->setStyleSheet(Office2007BlueStyleSheet());
  const auto giveHand = [](QWidget* w) { w->setCursor(Qt::PointingHandCursor); };
  if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QListView*>(widget)) giveHand(widget);
  for (QAbstractButton* child : widget->findChildren<QAbstractButton*>()) giveHand(child);
  for (QListView* child : widget->findChildren<QListView*>()) giveHand(child->viewport());
}

}  // namespace tv::framework

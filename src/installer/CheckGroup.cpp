#include "CheckGroup.h"

#include <QCheckBox>
#include <QFont>
#include <QScrollArea>
#include <QVBoxLayout>

TcxCheckGroup::TcxCheckGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  itemsPanel_ = new QWidget(scroll_);
  itemsPanel_->setObjectName(QStringLiteral("cxCheckGroupItems"));
  itemsLayout_ = new QVBoxLayout(itemsPanel_);
  itemsLayout_->setContentsMargins(4, 2, 4, 2);
  itemsLayout_->setSpacing(2);
  itemsLayout_->addStretch(1);
  scroll_->setWidget(itemsPanel_);
  setCursor(Qt::PointingHandCursor);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 6);
  layout->addWidget(scroll_);
}

void TcxCheckGroup::BeginUpdate() {
  setUpdatesEnabled(false);
}
void TcxCheckGroup::EndUpdate() {
  setUpdatesEnabled(true);
}

void TcxCheckGroup::Clear() {
  for (const auto& item : items_) delete item.box;  // the panel's child; removed from its layout
  items_.clear();
}

int TcxCheckGroup::AddItem(const QString& caption) {
  auto* box =
      new QCheckBox(QString(caption).replace(QLatin1Char('&'), QStringLiteral("&&")), itemsPanel_);
  QFont itemFont(QStringLiteral("Tahoma"));
  itemFont.setPixelSize(16);
  box->setFont(itemFont);
  box->setCursor(Qt::PointingHandCursor);
  box->setChecked(false);
  box->setToolTip(caption);  // a long caption stays readable when the list is narrow
  // Before the stretch that keeps the items at the top.
  itemsLayout_->insertWidget(itemsLayout_->count() - 1, box);
  const int id = nextId_++;
  items_.push_back({box, id, caption});
  return id;
}

int TcxCheckGroup::Count() const {
  return static_cast<int>(items_.size());
}

int TcxCheckGroup::ItemId(int index) const {
  return items_.at(static_cast<std::size_t>(index)).id;
}

QString TcxCheckGroup::ItemCaption(int index) const {
  return items_.at(static_cast<std::size_t>(index)).caption;
}

bool TcxCheckGroup::Checked(int index) const {
  return Item(index)->isChecked();
}

void TcxCheckGroup::SetChecked(int index, bool checked) {
  Item(index)->setChecked(checked);
}

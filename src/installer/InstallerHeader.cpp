#include "InstallerHeader.h"

#include <QLinearGradient>
#include <QPainter>

TInstallerHeader::TInstallerHeader(QWidget* parent) : QWidget(parent) {
  setFixedHeight(kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TInstallerHeader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0.0, QColor(220, 235, 252));
  gradient.setColorAt(1.0, QColor(193, 219, 252));
  painter.fillRect(rect(), gradient);
}

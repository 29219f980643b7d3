#include "ReflectionImage.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace {
constexpr double kReflectionStartOpacity = 0.45;
}

TReflectionImage::TReflectionImage(QWidget* parent) : QWidget(parent) {}

void TReflectionImage::SetPicture(const QPixmap& picture) {
  picture_ = picture;
  update();
}

void TReflectionImage::SetReflectionHeight(int pixels) {
  reflectionHeight_ = std::max(0, pixels);
  update();
}

void TReflectionImage::Draw(QPainter& painter) const {
  if (picture_.isNull()) return;
  const int x = (width() - picture_.width()) / 2;
  painter.drawPixmap(x, 0, picture_);
  const int h = std::min({reflectionHeight_, picture_.height(), height() - picture_.height()});
  if (h <= 0) return;

  // The lower h rows of the picture, flipped, faded from kReflectionStartOpacity to nothing.
  QImage reflection = picture_.toImage()
                          .copy(0, picture_.height() - h, picture_.width(), h)
                          .mirrored(false, true)
                          .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    QPainter fade(&reflection);
    fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient gradient(0, 0, 0, h);
    gradient.setColorAt(0, QColor(0, 0, 0, static_cast<int>(255 * kReflectionStartOpacity)));
    gradient.setColorAt(1, QColor(0, 0, 0, 0));
    fade.fillRect(reflection.rect(), gradient);
  }
  painter.drawImage(x, picture_.height(), reflection);
}

QImage TReflectionImage::Rendered() const {
  QImage image(size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  Draw(painter);
  return image;
}

void TReflectionImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Draw(painter);
}

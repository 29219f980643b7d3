// TReflectionImage: a picture with a mirrored reflection below it that fades out downwards, as
// behind the dialog-type shields and the launch window's emblem. The picture is drawn at the top,
// centred horizontally; the reflection is ReflectionHeight pixels of the picture's lower part,
// flipped. Cannot fail; an empty picture draws nothing.
#pragma once

#include <QPixmap>
#include <QWidget>

class TReflectionImage : public QWidget {
  Q_OBJECT

 public:
  explicit TReflectionImage(QWidget* parent = nullptr);

  void SetPicture(const QPixmap& picture);
  const QPixmap& Picture() const noexcept { return picture_; }
  void SetReflectionHeight(int pixels);
  int ReflectionHeight() const noexcept { return reflectionHeight_; }

  // The picture and its reflection as drawn (the widget's size, transparent background).
  QImage Rendered() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Draw(QPainter& painter) const;

  QPixmap picture_;
  int reflectionHeight_ = 25;
};

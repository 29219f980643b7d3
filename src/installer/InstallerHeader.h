// AdvSmoothPanel1's kind: the installer window's header band, a vertical gradient from
// RGB(220,235,252) to RGB(193,219,252) with no border line, 54 pixels high. Cannot fail.
#pragma once

#include <QWidget>

class TInstallerHeader : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 54;
  explicit TInstallerHeader(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

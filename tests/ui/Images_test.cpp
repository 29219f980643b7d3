// The drawn pictures: sizes, the colour of each shield and its white symbol, and the fallback of
// an unknown dialog type.
#include <gtest/gtest.h>
#include <QImage>

#include "Images.h"

namespace {

TEST(Images, ShieldsHaveTheirColourAndAWhiteSymbol) {
  struct Case {
    int type;
    const char* colour;
    QPoint onSymbol;  // a point the symbol's strokes cover
  };
  const std::vector<Case> cases = {
      {0, "green", {29, 41}},   // the corner of the check mark
      {1, "red", {32, 31}},     // the crossing of the cross
      {2, "blue", {32, 34}},    // the stem of the question mark
      {3, "orange", {32, 26}},  // the bar of the exclamation mark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colour);
    const QImage image = tv::ui::ShieldImage(c.type).toImage();
    ASSERT_EQ(image.size(), QSize(64, 64));
    const QColor body = image.pixelColor(32, 55);  // low on the shield, below any symbol
    EXPECT_EQ(body.alpha(), 255);
    const int r = body.red(), g = body.green(), b = body.blue();
    const bool dominant[] = {g > r && g > b, r > g && r > b, b > r && b > g, r > g && g > b};
    EXPECT_TRUE(dominant[c.type]) << "rgb " << r << "," << g << "," << b;
    EXPECT_EQ(image.pixelColor(c.onSymbol), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "transparent outside the shield";
  }
}

TEST(Images, AnUnknownTypeDrawsTheFailureShield) {
  const QImage failure = tv::ui::ShieldImage(1).toImage();
  for (int type : {-1, 4, 255}) EXPECT_EQ(tv::ui::ShieldImage(type).toImage(), failure);
}

TEST(Images, GlyphsAndTheProductImageHaveTheirSizesAndSomethingDrawn) {
  const auto drawnShare = [](const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) drawn += image.pixelColor(x, y).alpha() > 128;
    return double(drawn) / (image.width() * image.height());
  };
  for (const QPixmap& glyph : {tv::ui::GlyphBlueCheck(), tv::ui::GlyphBlueCross(),
                               tv::ui::GlyphProhibition(), tv::ui::GlyphDiskette()}) {
    EXPECT_EQ(glyph.size(), QSize(24, 24));
    EXPECT_GT(drawnShare(glyph), 0.1);
    EXPECT_LT(drawnShare(glyph), 0.9);
  }
  for (int size : {48, 64}) {
    const QPixmap product = tv::ui::ProductImage(size);
    EXPECT_EQ(product.size(), QSize(size, size));
    EXPECT_GT(drawnShare(product), 0.6);  // a disc fills most of its square
  }
}

}  // namespace

// The screen dimmer: one layer at most over the work area, the fade values really applied, and
// a layer destroyed while its fade runs (the fade must end without touching it).
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "FrameworkTestSupport.h"
#include "FxDimmer.h"

namespace {

using tv::test::AppTest;
using tv::test::ProcessFor;
using tv::test::ProcessUntil;

std::vector<int> FullFade() {
  std::vector<int> values{0};  // the layer is shown transparent
  for (int alpha = 0; alpha <= 170; alpha += 10) values.push_back(alpha);
  return values;
}

class DimmerTest : public AppTest {
 protected:
  void TearDown() override {
    FreeDimmer();
    EXPECT_TRUE(ProcessUntil([] { return TFadeThread::Running() == 0; }))
        << "a fade thread did not end";
    AppTest::TearDown();
  }
};

TEST_F(DimmerTest, OneBlackFramelessLayerCoversTheWorkAreaAndASecondCallChangesNothing) {
  ShowDimmer(nullptr);
  TFxDimmerForm* layer = FxDimmerForm;
  ASSERT_NE(layer, nullptr);
  EXPECT_TRUE(layer->isVisible());
  EXPECT_EQ(layer->geometry(), QGuiApplication::primaryScreen()->availableGeometry());
  EXPECT_TRUE(layer->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(layer->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(layer->objectName(), QString("FxDimmerForm"));
  ShowDimmer(nullptr);
  EXPECT_EQ(FxDimmerForm, layer);
  const auto layers = QApplication::topLevelWidgets();
  EXPECT_EQ(std::count_if(layers.begin(), layers.end(),
                          [](QWidget* w) { return qobject_cast<TFxDimmerForm*>(w) != nullptr; }),
            1);
}

TEST_F(DimmerTest, TheFadeRunsFromZeroToOneHundredSeventyInStepsOfTenAndRestsThere) {
  ShowDimmer(nullptr);
  ASSERT_NE(FxDimmerForm, nullptr);
  ASSERT_TRUE(ProcessUntil([] { return TFadeThread::Running() == 0; }, 5000));
  ProcessFor(50);
  EXPECT_EQ(FxDimmerForm->AppliedAlphas(), FullFade());
  EXPECT_EQ(FxDimmerForm->Alpha(), 170);
  EXPECT_NEAR(FxDimmerForm->windowOpacity(), 170.0 / 255.0, 0.01);
}

TEST_F(DimmerTest, ALayerDestroyedDuringItsFadeEndsTheFadeSafely) {
  // Closing within the first 0.4 s, at many moments: before the fade starts, during it, at its
  // end. Each layer has seen a beginning of the full fade and nothing else.
  const std::vector<int> full = FullFade();
  for (int i = 0; i < 24; ++i) {
    const int closeAfterMs = (i * 53) % 420;
    SCOPED_TRACE(closeAfterMs);
    ShowDimmer(nullptr);
    ASSERT_NE(FxDimmerForm, nullptr);
    ProcessFor(closeAfterMs);
    const std::vector<int> applied = FxDimmerForm->AppliedAlphas();
    FreeDimmer();
    EXPECT_EQ(FxDimmerForm, nullptr);
    ASSERT_LE(applied.size(), full.size());
    EXPECT_TRUE(std::equal(applied.begin(), applied.end(), full.begin()));
    if (closeAfterMs == 0) {
      EXPECT_EQ(applied, std::vector<int>{0}) << "no darkening before 200 ms";
    }
  }
  EXPECT_TRUE(ProcessUntil([] { return TFadeThread::Running() == 0; }));
}

TEST_F(DimmerTest, WithoutAWindowToKeepInFrontTheActiveWindowStaysActive) {
  auto form = MakeForm<TForm>();
  form->Show();
  form->activateWindow();
  ASSERT_TRUE(ProcessUntil([&] { return QApplication::activeWindow() == form.get(); }));
  ShowDimmer(nullptr);
  ProcessFor(20);
  EXPECT_EQ(QApplication::activeWindow(), form.get());
}

TEST_F(DimmerTest, AClickHidesTheLayerAndReleasesIt) {
  ShowDimmer(nullptr);
  TFxDimmerForm* layer = FxDimmerForm;
  ASSERT_NE(layer, nullptr);
  const QPointF centre = QRectF(layer->rect()).center();
  QMouseEvent press(QEvent::MouseButtonPress, centre, layer->mapToGlobal(centre), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, layer->mapToGlobal(centre),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(layer, &press);
  QApplication::sendEvent(layer, &release);
  EXPECT_FALSE(layer->isVisible());
  EXPECT_EQ(FxDimmerForm, layer) << "destroyed only after the pending messages";
  EXPECT_TRUE(ProcessUntil([] { return FxDimmerForm == nullptr; }));
  ShowDimmer(nullptr);  // and the next call makes a new one
  EXPECT_NE(FxDimmerForm, nullptr);
}

}  // namespace

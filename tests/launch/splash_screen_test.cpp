// The launch window as built, and its answers to the download messages.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <memory>

#include "Application.h"
#include "DlgSplashScreen.h"
#include "DownloadFileThread.h"
#include "ReflectionImage.h"

namespace {

class SplashScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application = std::make_unique<TApplication>();
    Application->CreateForm(Form_DlgSplashScreen);
  }
  void TearDown() override { application.reset(); }
  LRESULT Send(UINT msg, WPARAM wParam = 0) {
    return SendMessage(Form_DlgSplashScreen->Handle(), msg, wParam, 0);
  }
  std::unique_ptr<TApplication> application;
};

}  // namespace

TEST_F(SplashScreenTest, TheWindowIsBuiltAsDesigned) {
  TForm_DlgSplashScreen& w = *Form_DlgSplashScreen;
  EXPECT_EQ(w.windowTitle(), "Tolvara Updater");
  EXPECT_EQ(w.size(), QSize(594, 112));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());  // a fixed border
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(233, 241, 250));
  EXPECT_EQ(w.AdvReflectionImage1->geometry(), QRect(16, 7, 64, 97));
  EXPECT_EQ(w.AdvReflectionImage1->ReflectionHeight(), 30);
  EXPECT_EQ(w.AdvReflectionImage1->Picture().size(), QSize(64, 64));
  EXPECT_EQ(w.Label7->text(), "Start aplikacije");
  EXPECT_EQ(w.Label7->pos(), QPoint(86, 27));
  EXPECT_EQ(w.Label7->palette().color(QPalette::WindowText), QColor(61, 106, 163));
  EXPECT_EQ(w.cxProgressBar1->pos(), QPoint(86, 64));
  EXPECT_EQ(w.cxProgressBar1->width(), 491);
  EXPECT_FALSE(w.FStarted);
  EXPECT_FALSE(w.FCanClose);
}

TEST_F(SplashScreenTest, TheBarFollowsOneFileAtATime) {
  QProgressBar& bar = *Form_DlgSplashScreen->cxProgressBar1;
  Send(WM_DOWNLOAD_START);
  Send(WM_DOWNLOAD_FILE_START, 12);
  EXPECT_EQ(bar.maximum(), 12);
  for (int i = 1; i <= 12; ++i) {
    Send(WM_DOWNLOAD_PART_DONE, 1);
    EXPECT_EQ(bar.value(), i);
  }
  Send(WM_DOWNLOAD_FILE_DONE, 0);
  EXPECT_EQ(bar.value(), 0);
  Send(WM_DOWNLOAD_FILE_START, 3);
  EXPECT_EQ(bar.maximum(), 3);
  EXPECT_EQ(bar.value(), 0);
}

TEST_F(SplashScreenTest, TheWindowRefusesToCloseUntilTheDownloadFinished) {
  TForm_DlgSplashScreen& w = *Form_DlgSplashScreen;
  w.FCanClose = true;
  Send(WM_DOWNLOAD_START);
  EXPECT_FALSE(w.FCanClose);
  w.FStarted = true;  // shown without its flow
  w.show();
  w.Close();
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(Application->QuitRequested());
  w.FCanClose = true;
  w.Close();
  EXPECT_FALSE(w.isVisible());
}

// The plain message box and the standard error box, and the skin on the controls it covers.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>

#include "Dialogs.h"
#include "FrameworkTestSupport.h"
#include "Skin.h"
#include "Thread.h"

namespace {

using tv::test::AppTest;
using tv::test::ModalWatcher;
using tv::test::RunOnWorker;

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  qsizetype buttons = 0;
  QString buttonText;
  bool onUiThread = false;
};

ModalWatcher CloseBoxesInto(std::vector<SeenBox>& boxes) {
  return ModalWatcher([&boxes](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    SeenBox seen{box->windowTitle(),    box->text(), box->icon(),
                 box->buttons().size(), {},          IsUiThread()};
    if (!box->buttons().isEmpty()) seen.buttonText = box->buttons().front()->text();
    boxes.push_back(seen);
    box->buttons().front()->click();
  });
}

TEST_F(AppTest, ShowMessageIsAPlainBoxCaptionedWithTheTitle) {
  std::vector<SeenBox> boxes;
  ModalWatcher watcher = CloseBoxesInto(boxes);
  // The missing-configuration message, 78 characters, shown exactly (no markup reading).
  const std::string text =
      "Nije pronadjen konfiguracioni fajl \"TvUpdater.config\". Program će biti prekinu";
  ShowMessage(text);
  ShowMessage("<b>not bold</b>");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, QString("Tolvara Updater"));
  EXPECT_EQ(boxes[0].text, QString::fromStdString(text));
  EXPECT_EQ(boxes[0].text.size(), 78);
  EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_EQ(boxes[1].text, QString("<b>not bold</b>"));
}

TEST_F(AppTest, ShowMessageFromAWorkerIsShownByTheUserInterfaceThread) {
  std::vector<SeenBox> boxes;
  ModalWatcher watcher = CloseBoxesInto(boxes);
  ASSERT_TRUE(RunOnWorker([] { ShowMessage("iz niti"); }, /*pump=*/true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].onUiThread);
  EXPECT_EQ(boxes[0].text, QString("iz niti"));
}

TEST_F(AppTest, ShowExceptionIsTheErrorBox) {
  std::vector<SeenBox> boxes;
  ModalWatcher watcher = CloseBoxesInto(boxes);
  app_->Title = "Tolvara Updater";
  app_->ShowException(std::runtime_error("Cannot create file \"/x/y.cfg\". Permission denied"));
  try {
    throw 42;  // not an std::exception
  } catch (...) {
    app_->HandleException();
  }
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, QString("Tolvara Updater"));
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].text, QString("Cannot create file \"/x/y.cfg\". Permission denied"));
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_FALSE(boxes[1].text.isEmpty());
}

TEST_F(AppTest, TheSkinGivesButtonsAndCheckListsTheHandCursor) {
  QGroupBox group;
  auto* a = new QCheckBox("A", &group);
  auto* b = new QCheckBox("B", &group);
  QPushButton button("&OK");
  tv::framework::ApplySkin(&group);
  tv::framework::ApplySkin(&button);
  EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(a->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(button.property("skin").toString(), QString("Office2007Blue"));
  EXPECT_EQ(button.styleSheet(), tv::framework::Office2007BlueStyleSheet());
}

}  // namespace

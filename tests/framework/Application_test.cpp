// The application object and forms: termination rules, the main loop, close guards, modal
// results and the reporting of errors from form events.
#include <QAbstractButton>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "Application.h"
#include "Dialogs.h"
#include "FrameworkTestSupport.h"

namespace {

using tv::test::AppTest;
using tv::test::ModalWatcher;
using tv::test::ProcessFor;

std::vector<std::string> destroyedNames;

class ProbeForm : public TForm {
 public:
  int creates = 0;
  int shows = 0;
  int closes = 0;
  int appeared = 0;  // times the window really became visible
  bool visibleDuringShow = true;
  bool allowClose = true;
  std::string name;
  std::function<void()> onShow;
  std::function<void()> onCreate;

 protected:
  void FormCreate() override {
    ++creates;
    if (onCreate) onCreate();
  }
  void FormShow() override {
    ++shows;
    visibleDuringShow = isVisible();
    if (onShow) onShow();
  }
  void FormCloseQuery(bool& canClose) override { canClose = allowClose; }
  void FormClose() override { ++closes; }
  void FormDestroy() override { destroyedNames.push_back(name); }
  void showEvent(QShowEvent* event) override {
    ++appeared;
    TForm::showEvent(event);
  }
};

ProbeForm* Form_First = nullptr;

// Sees, in its own FormCreate, whether the global reference already points at it.
class CheckingForm;
CheckingForm* Form_Checking = nullptr;
class CheckingForm : public ProbeForm {
 public:
  explicit CheckingForm(bool* referenceSet) : referenceSet_(referenceSet) {}

 protected:
  void FormCreate() override { *referenceSet_ = (Form_Checking == this); }

 private:
  bool* referenceSet_;
};

TEST_F(AppTest, AnOpenModalDialogEndsWithCancelOnceTheLoopSeesTheRequest) {
  auto dialog = MakeForm<ProbeForm>();
  dialog->allowClose = false;  // the guard cannot hold a dialog open while the program ends
  bool handlerRanOn = false;
  QTimer::singleShot(20, [&] {
    app_->Terminate();
    EXPECT_FALSE(app_->Terminated());  // only posted so far
    handlerRanOn = true;
  });
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_TRUE(handlerRanOn);
  EXPECT_TRUE(app_->Terminated());
  EXPECT_EQ(dialog->ModalResult(), mrCancel);
  EXPECT_EQ(dialog->closes, 1);
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(AppTest, EveryDialogAfterTheRequestEndsAtOnceWithoutAppearing) {
  int boxesSeen = 0;
  ModalWatcher watcher([&](QWidget* w) {
    ++boxesSeen;
    w->close();
  });
  app_->Terminate();
  auto first = MakeForm<ProbeForm>();
  auto second = MakeForm<ProbeForm>();
  EXPECT_EQ(first->ShowModal(), mrCancel);
  EXPECT_EQ(second->ShowModal(), mrCancel);
  ShowMessage("Nije pronadjen konfiguracioni fajl");
  app_->ShowException(std::runtime_error("late error"));
  ProcessFor(30);
  EXPECT_TRUE(app_->Terminated());
  EXPECT_EQ(first->appeared + second->appeared, 0);
  EXPECT_EQ(boxesSeen, 0);
  // "Closes at once" still means closed: FormClose ran for each.
  EXPECT_EQ(first->closes, 1);
  EXPECT_EQ(second->closes, 1);
}

TEST_F(AppTest, NestedModalDialogsAllEndOnTermination) {
  auto outer = MakeForm<ProbeForm>();
  auto inner = MakeForm<ProbeForm>();
  int innerResult = -1;
  outer->onShow = [&] { QTimer::singleShot(0, [&] { innerResult = inner->ShowModal(); }); };
  inner->onShow = [&] { QTimer::singleShot(10, [&] { app_->Terminate(); }); };
  EXPECT_EQ(outer->ShowModal(), mrCancel);
  ProcessFor(20);  // the inner call returns once the outer loop has unwound
  EXPECT_EQ(innerResult, mrCancel);
  EXPECT_EQ(inner->closes, 1);
  EXPECT_EQ(outer->closes, 1);
}

TEST_F(AppTest, RunShowsTheMainFormAfterItsShowHandlerAndEndsWhenItCloses) {
  app_->CreateForm(Form_First);
  Form_First->onShow = [] { QTimer::singleShot(10, [] { Form_First->Close(); }); };
  EXPECT_EQ(app_->Run(), 0);
  EXPECT_EQ(Form_First->shows, 1);
  EXPECT_FALSE(Form_First->visibleDuringShow);
  EXPECT_EQ(Form_First->appeared, 1);
  EXPECT_EQ(Form_First->closes, 1);
  EXPECT_TRUE(app_->Terminated());
}

TEST_F(AppTest, ARefusedCloseKeepsTheMainFormAndTheLoop) {
  app_->CreateForm(Form_First);
  Form_First->allowClose = false;
  bool stillOpenAfterRefusal = false;
  Form_First->onShow = [&] {
    QTimer::singleShot(10, [&] {
      Form_First->close();  // the close box
      Form_First->Close();
      ProcessFor(10);
      stillOpenAfterRefusal = Form_First->isVisible() && !app_->Terminated();
      Form_First->allowClose = true;
      Form_First->Close();
    });
  };
  app_->Run();
  EXPECT_TRUE(stillOpenAfterRefusal);
  EXPECT_EQ(Form_First->closes, 1);
  EXPECT_TRUE(app_->Terminated());
}

TEST_F(AppTest, AShowHandlerThatEndsTheProgramRunsOnAndTheMainFormNeverAppears) {
  app_->CreateForm(Form_First);
  auto report = MakeForm<ProbeForm>();
  int reportResult = -1;
  bool reachedEnd = false;
  Form_First->onShow = [&] {
    app_->Terminate();
    reportResult = report->ShowModal();  // a second report on the way out
    reachedEnd = true;
  };
  app_->Run();
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(reportResult, mrCancel);
  EXPECT_EQ(report->appeared, 0);
  EXPECT_EQ(Form_First->appeared, 0);
  EXPECT_TRUE(app_->Terminated());
}

TEST_F(AppTest, RunWithoutAMainFormReturnsAtOnce) {
  EXPECT_EQ(app_->Run(), 0);
  EXPECT_FALSE(app_->Terminated());
}

TEST_F(AppTest, ModalResultComesFromWhatClosedTheDialog) {
  struct Case {
    const char* what;
    std::function<void(ProbeForm&)> close;
    int expected;
  };
  const std::vector<Case> cases = {
      {"button OK", [](ProbeForm& f) { f.SetModalResult(mrOk); }, mrOk},
      {"Close", [](ProbeForm& f) { f.Close(); }, mrCancel},
      {"close box", [](ProbeForm& f) { f.close(); }, mrCancel},
      {"Hide", [](ProbeForm& f) { f.Hide(); }, mrCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto dialog = MakeForm<ProbeForm>();
    QTimer::singleShot(10, [&] { c.close(*dialog); });
    EXPECT_EQ(dialog->ShowModal(), c.expected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->IsModal());
  }
}

TEST_F(AppTest, TheCloseGuardHoldsAModalDialogUntilItAgrees) {
  auto dialog = MakeForm<ProbeForm>();
  dialog->allowClose = false;
  bool heldAfterOk = false;
  bool heldAfterCloseBox = false;
  QTimer::singleShot(10, [&] {
    dialog->SetModalResult(mrOk);
    heldAfterOk = dialog->isVisible() && dialog->ModalResult() == mrNone;
    dialog->close();
    heldAfterCloseBox = dialog->isVisible();
    dialog->allowClose = true;
    dialog->SetModalResult(mrOk);
  });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_TRUE(heldAfterOk);
  EXPECT_TRUE(heldAfterCloseBox);
  EXPECT_EQ(dialog->closes, 1);
}

TEST_F(AppTest, EscapeDoesNotCloseAFormPastItsGuard) {
  auto form = MakeForm<ProbeForm>();
  form->allowClose = false;
  form->Show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &escape);
  form->close();
  ProcessFor(10);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->closes, 0);
}

TEST_F(AppTest, FormShowRunsBeforeEveryShowingAndAFormClosedThereStaysHidden) {
  auto form = MakeForm<ProbeForm>();
  form->Show();
  form->Hide();
  form->show();  // Qt's own show goes through the same path
  EXPECT_EQ(form->shows, 2);
  EXPECT_FALSE(form->visibleDuringShow);
  form->Hide();
  form->onShow = [&] { form->Close(); };
  form->Show();
  EXPECT_EQ(form->shows, 3);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->appeared, 2);
}

TEST_F(AppTest, ErrorsInCreateAndShowGoToTheErrorBoxAndTheSequenceGoesOn) {
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    int buttons;
  };
  std::vector<Box> boxes;
  ModalWatcher watcher([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    boxes.push_back(
        {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())});
    box->button(QMessageBox::Ok)->click();
  });
  class Faulty : public ProbeForm {
   protected:
    void FormCreate() override { throw std::runtime_error("Datoteka nije pronađena: ž.cfg"); }
    void FormShow() override { throw std::runtime_error("show failed"); }
  };
  auto form = MakeForm<Faulty>();
  form->Show();
  EXPECT_TRUE(form->isVisible());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, QString("Tolvara Updater"));
  EXPECT_EQ(boxes[0].text, QString::fromUtf8("Datoteka nije pronađena: ž.cfg"));
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_EQ(boxes[1].text, QString("show failed"));
}

TEST_F(AppTest, CreateFormSetsTheReferenceFirstAndDestroysInReverseOrder) {
  destroyedNames.clear();
  bool referenceSetInCreate = false;
  app_->CreateForm(Form_First);
  Form_First->name = "first";
  app_->CreateForm(Form_Checking, &referenceSetInCreate);
  Form_Checking->name = "second";
  EXPECT_TRUE(referenceSetInCreate);
  EXPECT_EQ(app_->MainForm(), Form_First);  // the first form created
  app_->SetMainForm(Form_Checking);
  EXPECT_EQ(app_->MainForm(), Form_Checking);
  const HWND secondHandle = Form_Checking->Handle();
  app_->DestroyForms();
  EXPECT_EQ(destroyedNames, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(Form_First, nullptr);
  EXPECT_EQ(Form_Checking, nullptr);
  EXPECT_EQ(app_->MainForm(), nullptr);
  EXPECT_FALSE(IsWindow(secondHandle));
}

TEST(ApplicationObject, OnlyOneMayExist) {
  TApplication first;
  EXPECT_EQ(Application, &first);
  EXPECT_THROW(TApplication second, std::logic_error);
}

}  // namespace

// SendMessage and PostMessage between threads: handlers run on the user-interface thread, the
// sender waits for them, nested ProcessMessages works, and nothing hangs on a dead handle or a
// program whose loop has ended.
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "Application.h"
#include "FrameworkTestSupport.h"
#include "Messages.h"
#include "Thread.h"

namespace {

using tv::test::AppTest;
using tv::test::ModalWatcher;
using tv::test::ProcessUntil;
using tv::test::RunOnWorker;

constexpr UINT WM_PROBE = 1024 + 7;

class Receiver : public TForm {
 public:
  Receiver() {
    RegisterMessageHandler(WM_PROBE, [this](TMessage& m) {
      handlerThread = std::this_thread::get_id();
      ++handled;
      m.Result = static_cast<LRESULT>(m.WParam * 2 + m.LParam);
    });
  }
  std::thread::id handlerThread;
  int handled = 0;
};

// A main form that runs a hook from its show handler (inside Run, before the loop starts).
class MainProbe : public TForm {
 public:
  std::function<void()> onShowStart;

 protected:
  void FormShow() override {
    if (onShowStart) onShowStart();
  }
};

// The shape of the download progress: each handler lets the user-interface thread handle pending
// messages before it returns.
class ProgressForm : public MainProbe {
 public:
  ProgressForm() {
    RegisterMessageHandler(WM_PROBE, [this](TMessage& m) {
      ++depth;
      maxDepth = std::max(maxDepth, depth);
      ++position;
      m.Result = 1;
      Application->ProcessMessages();
      --depth;
    });
  }
  int position = 0;
  int depth = 0;
  int maxDepth = 0;
};

MainProbe* Form_MainProbe = nullptr;
ProgressForm* Form_Progress = nullptr;

TEST_F(AppTest, OnTheUserInterfaceThreadSendMessageCallsTheHandlerDirectly) {
  auto form = MakeForm<Receiver>();
  EXPECT_EQ(SendMessage(form->Handle(), WM_PROBE, 20, 2), 42);
  EXPECT_EQ(form->handled, 1);
  EXPECT_EQ(form->handlerThread, std::this_thread::get_id());
  // A number without a handler goes to DefaultHandler, which answers 0.
  EXPECT_EQ(SendMessage(form->Handle(), WM_PROBE + 1, 1, 1), 0);
}

TEST_F(AppTest, FromAWorkerSendMessageWaitsForTheHandlerOnTheUserInterfaceThread) {
  auto form = MakeForm<Receiver>();
  const HWND handle = form->Handle();
  LRESULT result = 0;
  int handledWhenReturned = 0;
  ASSERT_TRUE(RunOnWorker(
      [&] {
        result = SendMessage(handle, WM_PROBE, 5, 1);
        handledWhenReturned = form->handled;  // written on the UI thread before the send returned
      },
      /*pump=*/true));
  EXPECT_EQ(result, 11);
  EXPECT_EQ(handledWhenReturned, 1);
  EXPECT_EQ(form->handlerThread, std::this_thread::get_id());
}

TEST_F(AppTest, HandlersThatProcessMessagesServeOtherWaitingSenders) {
  // Several threads send at once while every handler processes messages.
  app_->CreateForm(Form_Progress);
  constexpr int kThreads = 5;
  constexpr int kPerThread = 40;
  std::atomic<int> answered{0};
  std::atomic<int> running{kThreads};
  std::vector<std::thread> workers;
  const HWND handle = Form_Progress->Handle();
  Form_Progress->onShowStart = [&] {
    for (int t = 0; t < kThreads; ++t)
      workers.emplace_back([&] {
        for (int i = 0; i < kPerThread; ++i)
          answered += static_cast<int>(SendMessage(handle, WM_PROBE, 1, 0));
        if (--running == 0) Application->Terminate();
      });
  };
  app_->Run();
  for (auto& w : workers) w.join();
  EXPECT_EQ(answered.load(), kThreads * kPerThread);
  EXPECT_EQ(Form_Progress->position, kThreads * kPerThread);
  EXPECT_GT(Form_Progress->maxDepth, 1) << "no message was handled inside another handler";
  app_->DestroyForms();
}

TEST_F(AppTest, ADeadHandleAnswersZeroAtOnceFromAnyThread) {
  auto form = MakeForm<Receiver>();
  const HWND handle = form->Handle();
  form.reset();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(SendMessage(handle, WM_PROBE, 1, 1), 0);
  LRESULT fromWorker = -1;
  // The user-interface thread handles no events meanwhile: a send that waited for it would hang.
  ASSERT_TRUE(RunOnWorker([&] { fromWorker = SendMessage(handle, WM_PROBE, 1, 1); },
                          /*pump=*/false));
  EXPECT_EQ(fromWorker, 0);
  EXPECT_FALSE(PostMessage(handle, WM_PROBE, 1, 1));
  EXPECT_EQ(SendMessage(0, WM_PROBE, 1, 1), 0);
}

TEST_F(AppTest, AWindowDestroyedWhileASendWaitsAnswersZeroAndItsHandlerNeverRuns) {
  auto form = MakeForm<Receiver>();
  const HWND handle = form->Handle();
  std::atomic<bool> sending{false};
  std::atomic<LRESULT> result{-1};
  std::thread worker([&] {
    sending = true;
    result = SendMessage(handle, WM_PROBE, 1, 1);
  });
  while (!sending) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the send is queued by now
  form.reset();
  ASSERT_TRUE(ProcessUntil([&] { return result != -1; }));
  worker.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(AppTest, AfterTheLoopHasEndedSendsAnswerZeroAndSynchronizeThrowsInsteadOfHanging) {
  auto form = MakeForm<Receiver>();
  const HWND handle = form->Handle();
  app_->CreateForm(Form_MainProbe);
  LRESULT pendingResult = -1;
  std::thread lateSender;
  Form_MainProbe->onShowStart = [&] {
    app_->Terminate();
    // This send is under way while the program closes: it must be let go, not served.
    lateSender = std::thread([&] { pendingResult = SendMessage(handle, WM_PROBE, 1, 1); });
  };
  app_->Run();
  lateSender.join();
  EXPECT_EQ(pendingResult, 0);
  EXPECT_EQ(form->handled, 0);

  LRESULT afterwards = -1;
  bool synchronizeThrew = false;
  ASSERT_TRUE(RunOnWorker(
      [&] {
        afterwards = SendMessage(handle, WM_PROBE, 1, 1);
        try {
          Synchronize([] {});
        } catch (const EThreadSynchronize&) {
          synchronizeThrew = true;
        }
      },
      /*pump=*/false));
  EXPECT_EQ(afterwards, 0);
  EXPECT_TRUE(synchronizeThrew);
  EXPECT_FALSE(PostMessage(handle, WM_PROBE, 1, 1));
  // On the user-interface thread a live window is still served directly.
  EXPECT_EQ(SendMessage(handle, WM_PROBE, 1, 1), 3);
  app_->DestroyForms();
}

TEST_F(AppTest, PostMessageReturnsAtOnceAndTheHandlerRunsLaterOnTheUserInterfaceThread) {
  auto form = MakeForm<Receiver>();
  const HWND handle = form->Handle();
  bool posted = false;
  ASSERT_TRUE(RunOnWorker([&] { posted = PostMessage(handle, WM_PROBE, 1, 0); }, false));
  EXPECT_TRUE(posted);
  EXPECT_EQ(form->handled, 0);
  ASSERT_TRUE(ProcessUntil([&] { return form->handled == 1; }));
  EXPECT_EQ(form->handlerThread, std::this_thread::get_id());
}

TEST_F(AppTest, AnErrorInAHandlerIsShownAndTheSenderGetsTheResultSoFar) {
  class Faulty : public TForm {
   public:
    Faulty() {
      RegisterMessageHandler(WM_PROBE, [](TMessage& m) {
        m.Result = 7;
        throw std::runtime_error("handler failed");
      });
    }
  };
  auto form = MakeForm<Faulty>();
  QString shown;
  ModalWatcher watcher([&](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) shown = box->text();
    w->close();
  });
  const HWND handle = form->Handle();
  LRESULT result = 0;
  ASSERT_TRUE(RunOnWorker([&] { result = SendMessage(handle, WM_PROBE, 0, 0); }, true));
  EXPECT_EQ(result, 7);
  EXPECT_EQ(shown, QString("handler failed"));
}

TEST(Handles, AreNeverReused) {
  TApplication app;
  std::vector<HWND> seen;
  for (int i = 0; i < 50; ++i) {
    auto form = MakeForm<TForm>();
    EXPECT_NE(form->Handle(), HWND{0});
    for (HWND h : seen) EXPECT_NE(form->Handle(), h);
    seen.push_back(form->Handle());
  }
}

}  // namespace

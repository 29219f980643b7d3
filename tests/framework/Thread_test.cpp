// TThread: Synchronize on the user-interface thread with errors raised again in the caller,
// waiting without deadlock, threads that free themselves, priorities, start rules.
#include <atomic>
#include <stdexcept>
#include <thread>

#include "FrameworkTestSupport.h"
#include "Thread.h"

#ifndef _WIN32
#include <sched.h>
#endif

namespace {

using tv::test::AppTest;
using tv::test::ProcessUntil;

class EDiskFull : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body) : body_(std::move(body)) {}
  using TThread::ReturnValue;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

TEST_F(AppTest, SynchronizeRunsOnTheUserInterfaceThreadAndRaisesItsErrorInTheCaller) {
  const std::thread::id ui = std::this_thread::get_id();
  std::thread::id ranOn;
  bool ranBeforeReturn = false;
  std::string caught;
  LambdaThread thread([&](LambdaThread& self) {
    bool ran = false;
    self.Synchronize([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    });
    ranBeforeReturn = ran;
    try {
      self.Synchronize([] { throw EDiskFull("Disk D: je pun."); });
    } catch (const EDiskFull& e) {  // the same type arrives, not a copy in a generic wrapper
      caught = e.what();
    }
  });
  thread.Start();
  // WaitFor on the user-interface thread serves the calls itself: no event loop is needed.
  thread.WaitFor();
  EXPECT_EQ(ranOn, ui);
  EXPECT_TRUE(ranBeforeReturn);
  EXPECT_EQ(caught, "Disk D: je pun.");
}

TEST_F(AppTest, AnErrorEscapingExecuteEndsTheThreadAndIsKept) {
  LambdaThread thread([](LambdaThread& self) {
    self.ReturnValue = 3;
    throw std::runtime_error("worker failed");
  });
  thread.Start();
  EXPECT_EQ(thread.WaitFor(), 3);
  EXPECT_TRUE(thread.Finished());
  ASSERT_TRUE(thread.FatalException());
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "worker failed");
  }
}

TEST_F(AppTest, AThreadThatFreesItselfIsDestroyedWhenItsWorkEnds) {
  static std::atomic<int> alive{0};
  class SelfFreeing : public TThread {
   public:
    SelfFreeing() { ++alive; }
    ~SelfFreeing() override { --alive; }

   protected:
    void Execute() override {
      // It may still use the user-interface thread on its way out.
      Synchronize([] {});
    }
  };
  for (int i = 0; i < 20; ++i) TThread::StartFreeOnTerminate(std::make_unique<SelfFreeing>());
  EXPECT_TRUE(ProcessUntil([] { return alive.load() == 0; }));
}

TEST_F(AppTest, StartAndWaitForRules) {
  LambdaThread once([](LambdaThread&) {});
  EXPECT_THROW(once.WaitFor(), std::logic_error);  // never started
  once.Start();
  EXPECT_THROW(once.Start(), std::logic_error);
  EXPECT_THROW(once.Resume(), std::logic_error);
  once.WaitFor();

  auto started = std::make_unique<LambdaThread>([](LambdaThread&) {});
  started->Start();
  started->WaitFor();
  EXPECT_THROW(TThread::StartFreeOnTerminate(std::move(started)), std::logic_error);
}

TEST_F(AppTest, TerminateAsksARunningThreadToEndAndWaitForJoinsIt) {
  std::atomic<bool> sawTerminated{false};
  LambdaThread thread([&](LambdaThread& self) {
    while (!self.Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sawTerminated = true;
  });
  thread.Start();
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(sawTerminated.load());
  EXPECT_TRUE(thread.Finished());
}

#ifndef _WIN32
TEST_F(AppTest, IdlePriorityIsTheSystemsIdleClass) {
  int policy = -1;
  LambdaThread thread([&](LambdaThread&) { policy = sched_getscheduler(0); });
  thread.SetPriority(TThreadPriority::tpIdle);
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(policy, SCHED_IDLE);
  EXPECT_EQ(thread.Priority(), TThreadPriority::tpIdle);
}
#endif

}  // namespace

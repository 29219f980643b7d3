#include "UiCallQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#endif

namespace tv::framework::detail {
namespace {

struct Call {
  enum class State { Queued, Running, Done, Refused };
  std::function<void()> work;
  bool waited = true;  // false for posted work: nobody waits for it or sees its errors
  State state = State::Queued;
  std::exception_ptr error;
};

// The portable wake-up: a queued call to ServeUiCalls through Qt's event queue.
void PostWake() {
  QMetaObject::invokeMethod(QCoreApplication::instance(), &ServeUiCalls, Qt::QueuedConnection);
}

#ifdef __linux__
// Wakes the user-interface thread through an eventfd that a socket notifier of that thread
// watches: another thread only writes a number to a descriptor and touches no Qt object (whose
// internal locking the thread sanitizer cannot follow), and every loop of the user-interface
// thread, ProcessMessages included, notices the descriptor.
class Waker {
 public:
  Waker() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto n = read(fd_, &count, sizeof count);
      ServeUiCalls();
    });
  }
  ~Waker() {
    notifier_.reset();
    if (fd_ >= 0) close(fd_);
  }
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  void Wake() {
    if (fd_ < 0) {
      PostWake();
      return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
  std::unique_ptr<QSocketNotifier> notifier_;
};
#else
class Waker {
 public:
  void Wake() { PostWake(); }
};
#endif

struct Queue {
  std::mutex mutex;
  std::condition_variable callerWake;  // a call changed state
  std::condition_variable uiWake;      // work arrived, or a waited-for thread ended
  std::deque<std::shared_ptr<Call>> calls;
  std::uint64_t uiGeneration = 0;
  // Present while the queue is open; made and destroyed on the user-interface thread. It is
  // used by other threads only under the mutex, so never after it has gone.
  std::unique_ptr<Waker> waker;
};

// Never destroyed: a thread still waiting when the process ends must find it intact.
Queue& TheQueue() {
  static Queue& queue = *new Queue;
  return queue;
}

// Recorded when the application object opens the queue; the user-interface thread never changes.
std::atomic<std::thread::id> uiThread{};

// Queues a call; false when the queue is closed. Called with the mutex held.
bool EnqueueLocked(Queue& q, const std::shared_ptr<Call>& call) {
  if (!q.waker) return false;
  q.calls.push_back(call);
  ++q.uiGeneration;
  q.uiWake.notify_all();
  q.waker->Wake();
  return true;
}

}  // namespace

bool OnUiThread() noexcept {
  return std::this_thread::get_id() == uiThread.load();
}

bool RunOnUiThreadAndWait(std::function<void()> work) {
  Queue& q = TheQueue();
  auto call = std::make_shared<Call>();
  call->work = std::move(work);
  std::unique_lock lock(q.mutex);
  if (!EnqueueLocked(q, call)) return false;
  q.callerWake.wait(lock, [&] {
    return call->state == Call::State::Done || call->state == Call::State::Refused;
  });
  if (call->state == Call::State::Refused) return false;
  if (call->error) std::rethrow_exception(call->error);
  return true;
}

bool PostToUiThread(std::function<void()> work) {
  Queue& q = TheQueue();
  auto call = std::make_shared<Call>();
  call->work = std::move(work);
  call->waited = false;
  std::lock_guard lock(q.mutex);
  return EnqueueLocked(q, call);
}

void ServeUiCalls() {
  Queue& q = TheQueue();
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(q.mutex);
      if (q.calls.empty()) return;
      call = std::move(q.calls.front());
      q.calls.pop_front();
      call->state = Call::State::Running;
    }
    std::exception_ptr error;
    try {
      call->work();
    } catch (...) {
      error = std::current_exception();
    }
    {
      // Let go of the call before the caller may wake: the caller then holds the last
      // reference, and the exception it re-raises is freed on its own thread.
      std::lock_guard lock(q.mutex);
      if (call->waited) call->error = std::move(error);
      call->state = Call::State::Done;
      call->work = nullptr;
      call.reset();
    }
    q.callerWake.notify_all();
  }
}

void ServeUiCallsUntil(const std::function<bool()>& done) {
  Queue& q = TheQueue();
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(q.mutex);
      seen = q.uiGeneration;
    }
    ServeUiCalls();
    if (done()) return;
    std::unique_lock lock(q.mutex);
    q.uiWake.wait(lock, [&] { return !q.calls.empty() || q.uiGeneration != seen; });
  }
}

void NotifyUiWaiters() {
  Queue& q = TheQueue();
  {
    std::lock_guard lock(q.mutex);
    ++q.uiGeneration;
  }
  q.uiWake.notify_all();
}

void OpenUiCalls() {
  uiThread.store(std::this_thread::get_id());
  auto waker = std::make_unique<Waker>();
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.waker = std::move(waker);
}

void CloseUiCalls() {
  Queue& q = TheQueue();
  std::unique_ptr<Waker> waker;
  {
    std::lock_guard lock(q.mutex);
    waker = std::move(q.waker);
    for (auto& call : q.calls) call->state = Call::State::Refused;
    q.calls.clear();
  }
  q.callerWake.notify_all();
  // Destroyed outside the lock: a notifier may only go away on the user-interface thread, and
  // nothing else can reach it once it is out of the queue.
}

bool UiCallsOpen() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return q.waker != nullptr;
}

}  // namespace tv::framework::detail

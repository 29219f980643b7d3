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

namespace tv::framework::detail {
namespace {

struct Call {
  enum class State { Queued, Running, Done, Refused };
  std::function<void()> work;
  State state = State::Queued;
  std::exception_ptr error;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable callerWake;  // a call changed state
  std::condition_variable uiWake;      // work arrived, or a waited-for thread ended
  std::deque<std::shared_ptr<Call>> calls;
  std::uint64_t uiGeneration = 0;
  bool open = false;
};

// Never destroyed: a thread still waiting when the process ends must find it intact.
Queue& TheQueue() {
  static Queue& queue = *new Queue;
  return queue;
}

// Recorded when the application object opens the queue; the user-interface thread never changes.
std::atomic<std::thread::id> uiThread{};

}  // namespace

bool OnUiThread() noexcept {
  return std::this_thread::get_id() == uiThread.load();
}

bool RunOnUiThreadAndWait(std::function<void()> work) {
  Queue& q = TheQueue();
  auto call = std::make_shared<Call>();
  call->work = std::move(work);
  std::unique_lock lock(q.mutex);
  if (!q.open) return false;
  q.calls.push_back(call);
  ++q.uiGeneration;
  q.uiWake.notify_all();
  // The queue is open only while the application object, and so the QApplication, exists; the
  // posted wake-up keeps no reference to the call, it merely makes the loop serve the queue.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &ServeUiCalls, Qt::QueuedConnection);
  q.callerWake.wait(lock, [&] {
    return call->state == Call::State::Done || call->state == Call::State::Refused;
  });
  if (call->state == Call::State::Refused) return false;
  if (call->error) std::rethrow_exception(call->error);
  return true;
}

bool PostToUiThread(std::function<void()> work) {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  if (!q.open) return false;
  return QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work),
                                   Qt::QueuedConnection);
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
    try {
      call->work();
    } catch (...) {
      call->error = std::current_exception();
    }
    {
      std::lock_guard lock(q.mutex);
      call->state = Call::State::Done;
      call->work = nullptr;
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
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  q.open = true;
}

void CloseUiCalls() {
  Queue& q = TheQueue();
  {
    std::lock_guard lock(q.mutex);
    q.open = false;
    for (auto& call : q.calls) call->state = Call::State::Refused;
    q.calls.clear();
  }
  q.callerWake.notify_all();
}

bool UiCallsOpen() {
  Queue& q = TheQueue();
  std::lock_guard lock(q.mutex);
  return q.open;
}

}  // namespace tv::framework::detail

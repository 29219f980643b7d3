#include "Thread.h"

#include <future>

#include "ThreadPriority.h"
#include "UiCallQueue.h"

namespace detail = tv::framework::detail;

TThread::TThread() = default;

TThread::~TThread() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // destroyed from its own Execute: nobody is left to join it
    return;
  }
  Terminate();
  if (IsUiThread()) detail::ServeUiCallsUntil([this] { return finished_.load(); });
  thread_.join();
}

void TThread::Start() {
  bool expected = false;
  if (!started_.compare_exchange_strong(expected, true))
    throw std::logic_error("The thread has been started already.");
  // The new thread waits for this signal, so it never runs (and never frees itself) before
  // thread_ has been set here.
  std::promise<void> go;
  std::future<void> ready = go.get_future();
  try {
    thread_ = std::thread([this, ready = std::move(ready)]() mutable {
      ready.wait();
      Run();
    });
  } catch (...) {
    started_.store(false);
    throw;
  }
  if (freeOnTerminate_) thread_.detach();
  go.set_value();  // from here on a thread that frees itself may be gone
}

void TThread::StartFreeOnTerminate(std::unique_ptr<TThread> thread) {
  if (!thread) throw std::invalid_argument("No thread was given.");
  if (thread->started_.load()) throw std::logic_error("The thread has been started already.");
  thread->freeOnTerminate_ = true;
  TThread* self = thread.get();
  self->Start();  // on failure the unique_ptr still owns the thread and destroys it
  thread.release();
}

void TThread::Run() {
  {
    std::lock_guard lock(priorityMutex_);
    nativeId_ = detail::CurrentNativeThreadId();
    detail::ApplyThreadPriority(nativeId_, priority_.load());
  }
  try {
    Execute();
  } catch (...) {
    std::lock_guard lock(fatalMutex_);
    fatalException_ = std::current_exception();
  }
  {
    // The system may give the id to another thread once this one has ended.
    std::lock_guard lock(priorityMutex_);
    nativeId_ = 0;
  }
  if (freeOnTerminate_) {
    delete this;
    return;
  }
  finished_.store(true);
  detail::NotifyUiWaiters();
}

int TThread::WaitFor() {
  if (freeOnTerminate_) throw std::logic_error("A thread that frees itself cannot be waited for.");
  if (!started_.load()) throw std::logic_error("The thread has not been started.");
  if (thread_.get_id() == std::this_thread::get_id())
    throw std::logic_error("A thread cannot wait for itself.");
  if (thread_.joinable()) {
    if (IsUiThread()) detail::ServeUiCallsUntil([this] { return finished_.load(); });
    thread_.join();
  }
  return ReturnValue.load();
}

void TThread::SetPriority(TThreadPriority priority) {
  std::lock_guard lock(priorityMutex_);
  priority_.store(priority);
  if (nativeId_ != 0) detail::ApplyThreadPriority(nativeId_, priority);
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(fatalMutex_);
  return fatalException_;
}

void TThread::Synchronize(const std::function<void()>& method) const {
  ::Synchronize(method);
}

void Synchronize(const std::function<void()>& method) {
  if (!RunOnUiThread(method))
    throw EThreadSynchronize(
        "The program is closing: the work for the user-interface thread was not done.");
}

bool RunOnUiThread(const std::function<void()>& method) {
  if (IsUiThread()) {
    method();
    return true;
  }
  return detail::RunOnUiThreadAndWait(method);
}

bool IsUiThread() noexcept {
  return detail::OnUiThread();
}

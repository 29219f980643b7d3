// TThread: a thread of the program with its work in Execute. Every thread is created suspended
// and runs once Start (or Resume) is called; a class that is meant to run from construction calls
// Start as the last statement of its own constructor (the base cannot: while the base is being
// built the derived part, and with it Execute, does not exist yet).
//
// Lifetime. The owner of a started thread calls Terminate (if needed) and WaitFor before destroying
// it: the destructor does join as a last resort, but by then the derived part, and with it
// Execute, is already gone, so a thread still running at that point is undefined behaviour. A
// thread handed to StartFreeOnTerminate owns itself and is deleted on its own thread right after
// Execute returns: the caller must not touch it afterwards (not even to read a flag), and nothing
// may wait for it.
//
// Synchronize runs a function on the user-interface thread while the caller waits; an exception
// thrown there is raised again in the caller. It never hangs: once the main message loop has ended
// (or there is no application object) it throws EThreadSynchronize instead. An exception escaping
// Execute ends the thread and is kept in FatalException.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class EThreadSynchronize : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the suspended thread. Throws std::logic_error when it was started already and
  // std::system_error when the system refuses a new thread.
  void Start();
  void Resume() { Start(); }
  // Hands an unstarted thread over to itself and starts it; see Lifetime above. When starting
  // fails the thread is destroyed and the error is raised.
  static void StartFreeOnTerminate(std::unique_ptr<TThread> thread);

  void Terminate() noexcept { terminated_.store(true); }
  bool Terminated() const noexcept { return terminated_.load(); }
  bool Finished() const noexcept { return finished_.load(); }
  bool FreeOnTerminate() const noexcept { return freeOnTerminate_; }

  // Waits until Execute has returned and gives ReturnValue. On the user-interface thread it keeps
  // serving Synchronize and SendMessage calls of other threads meanwhile, so a thread that waits
  // for the user-interface thread cannot deadlock it. Throws std::logic_error for a thread that
  // frees itself or waits for itself.
  int WaitFor();

  // Idle is the lowest the system offers (Linux: SCHED_IDLE). Raising above normal usually needs
  // privileges; a priority the system refuses is ignored, since it is only a hint.
  TThreadPriority Priority() const noexcept { return priority_.load(); }
  void SetPriority(TThreadPriority priority);

  std::exception_ptr FatalException() const;

  void Synchronize(const std::function<void()>& method) const;

 protected:
  virtual void Execute() = 0;
  std::atomic<int> ReturnValue{0};

 private:
  void Run();

  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
  std::mutex priorityMutex_;
  long nativeId_ = 0;  // the system's id of the running thread, guarded by priorityMutex_
  bool freeOnTerminate_ = false;
  mutable std::mutex fatalMutex_;
  std::exception_ptr fatalException_;
};

// Synchronize for code that is not inside a TThread (same rules).
void Synchronize(const std::function<void()>& method);

// Like Synchronize, but returns false instead of throwing when the user-interface thread no longer
// serves calls (nothing was run). An exception of method is still raised again.
bool RunOnUiThread(const std::function<void()>& method);

// True on the thread that runs the application's message loop.
bool IsUiThread() noexcept;

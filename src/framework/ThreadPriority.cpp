#include "ThreadPriority.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tv::framework::detail {

#ifdef _WIN32

long CurrentNativeThreadId() noexcept {
  return static_cast<long>(GetCurrentThreadId());
}

void ApplyThreadPriority(long nativeId, TThreadPriority priority) noexcept {
  int level = THREAD_PRIORITY_NORMAL;
  switch (priority) {
    case TThreadPriority::tpIdle:
      level = THREAD_PRIORITY_IDLE;
      break;
    case TThreadPriority::tpLowest:
      level = THREAD_PRIORITY_LOWEST;
      break;
    case TThreadPriority::tpLower:
      level = THREAD_PRIORITY_BELOW_NORMAL;
      break;
    case TThreadPriority::tpNormal:
      level = THREAD_PRIORITY_NORMAL;
      break;
    case TThreadPriority::tpHigher:
      level = THREAD_PRIORITY_ABOVE_NORMAL;
      break;
    case TThreadPriority::tpHighest:
      level = THREAD_PRIORITY_HIGHEST;
      break;
    case TThreadPriority::tpTimeCritical:
      level = THREAD_PRIORITY_TIME_CRITICAL;
      break;
  }
  HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(nativeId));
  if (!thread) return;
  SetThreadPriority(thread, level);
  CloseHandle(thread);
}

#else

long CurrentNativeThreadId() noexcept {
  return static_cast<long>(syscall(SYS_gettid));
}

// Linux keeps a nice value per thread (addressed by its id); idle is its own scheduling class.
void ApplyThreadPriority(long nativeId, TThreadPriority priority) noexcept {
  const auto tid = static_cast<pid_t>(nativeId);
  sched_param param{};
  param.sched_priority = 0;
  if (priority == TThreadPriority::tpIdle) {
    sched_setscheduler(tid, SCHED_IDLE, &param);
    return;
  }
  int nice = 0;
  switch (priority) {
    case TThreadPriority::tpLowest:
      nice = 15;
      break;
    case TThreadPriority::tpLower:
      nice = 5;
      break;
    case TThreadPriority::tpHigher:
      nice = -5;
      break;
    case TThreadPriority::tpHighest:
      nice = -10;
      break;
    case TThreadPriority::tpTimeCritical:
      nice = -15;
      break;
    default:
      nice = 0;
      break;
  }
  sched_setscheduler(tid, SCHED_OTHER, &param);
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

#endif

}  // namespace tv::framework::detail

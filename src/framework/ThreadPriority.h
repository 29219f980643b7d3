// Internal: thread priorities on the system. Failures are ignored: a priority is only a hint, and
// raising one usually needs privileges the program does not have.
#pragma once

#include "Thread.h"

namespace tv::framework::detail {

long CurrentNativeThreadId() noexcept;
void ApplyThreadPriority(long nativeId, TThreadPriority priority) noexcept;

}  // namespace tv::framework::detail

// Internal: the hand-over of work from other threads to the user-interface thread, shared by
// SendMessage and Synchronize. A caller queues its work and blocks; the user-interface thread runs
// queued work, one item at a time and in queue order, whenever it handles events (any message
// loop, ProcessMessages) or waits for a thread. While the queue is closed (no application object,
// or its main loop has ended) work is refused at once, and closing wakes every waiting caller with
// a refusal, so no caller can hang on a user-interface thread that has stopped serving.
#pragma once

#include <functional>

namespace tv::framework::detail {

// Runs work on the user-interface thread and waits. False when refused (nothing ran). An exception
// thrown by work is raised again here. Must not be called on the user-interface thread.
bool RunOnUiThreadAndWait(std::function<void()> work);

// Queues work for the user-interface thread without waiting. False when refused.
bool PostToUiThread(std::function<void()> work);

// User-interface thread: runs every queued item (re-entrant: work may process events itself).
void ServeUiCalls();

// User-interface thread: serves queued work until done() holds; done is checked whenever work has
// been run or NotifyUiWaiters is called.
void ServeUiCallsUntil(const std::function<bool()>& done);
void NotifyUiWaiters();

// Opens the queue and records the calling thread as the user-interface thread.
void OpenUiCalls();
void CloseUiCalls();
bool UiCallsOpen();
bool OnUiThread() noexcept;

}  // namespace tv::framework::detail

#pragma once
// The one way work leaves a background thread for the main thread.
//
// RunOnMainThread blocks the calling thread until the main thread has run the
// function (exceptions travel back to the caller). The main thread serves such
// calls from its event loop (modal dialogs included) and, while it waits for a
// thread to end, from ServeUntil, which runs only these calls and no user
// input, so a thread blocked in a hand-over can always finish.

#include <functional>

namespace mainthread {

bool IsMainThread();

// Runs fn on the main thread and waits for it. On the main thread: runs it at once.
void RunOnMainThread(const std::function<void()>& fn);

// Main thread: runs every pending call.
void ServePending();

// Main thread: serves pending calls until done() is true. done() is checked
// under the hand-over's lock after every wake-up; NotifyStateChanged wakes it.
void ServeUntil(const std::function<bool()>& done);

// Any thread: wakes ServeUntil so that it re-checks its condition.
void NotifyStateChanged();

// Posts fn to the main thread's event loop without waiting (used for the
// deferred release of ended threads).
void PostToMainThread(std::function<void()> fn);

} // namespace mainthread

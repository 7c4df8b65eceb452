#pragma once
// Processes the main thread's events (hand-overs from worker threads included)
// until `done` holds or about `realMs` real milliseconds have passed. True
// when `done` held.

#include <functional>

bool ProcessEventsUntil(const std::function<bool()>& done, int realMs = 5000);

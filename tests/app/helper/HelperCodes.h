#pragma once
// Exit codes of the single-instance helper program, shared with the tests.
//
// Usage: single_instance_helper <suffix> <dir> <mode>
//   try    become the running copy or ask the running one to the front, then end
//   crash  become the running copy and die without releasing anything
//   hold   become the running copy, print "primary", and end when asked to the front
namespace helper {
inline constexpr int kBecamePrimary = 10;
inline constexpr int kFoundRunningCopy = 11;
inline constexpr int kCrashed = 12;
inline constexpr int kBroughtToFront = 13;
inline constexpr int kUsage = 2;
inline constexpr int kGaveUp = 3; // hold: nobody asked within the limit
} // namespace helper

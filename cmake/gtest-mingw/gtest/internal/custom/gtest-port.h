#pragma once
// GoogleTest's customisation hook, found ahead of its own (empty) one in the MinGW build.
// MinGW's default win32 thread model has no std::mutex or std::condition_variable, and
// GoogleTest needs them only for Notification, which starts the threads of its own threading
// tests. Everything else in its Windows port is Win32 and works, so Notification is given here.
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
  public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true); }
    // Waits by spinning: only GoogleTest's own thread tests wait here, for a moment.
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

  private:
    std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

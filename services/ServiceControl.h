#pragma once
// Stopping services and marking them for deletion through the service control manager.

#include "platform/Platform.h"

#include <cstdint>
#include <string>

namespace hf {

// Bounds of the wait for a stopping service. The service's wait hint sets each pause, but a hint
// of 0 would poll without pause, INFINITE would never come back, and a service that stays
// stop-pending would hold the user-interface thread for good.
inline constexpr std::uint32_t kStopWaitMinPauseMs = 10;
inline constexpr std::uint32_t kStopWaitMaxPauseMs = 10'000;
inline constexpr std::uint64_t kStopWaitLimitMs = 30'000;
// All the waits of one cleaning run together: the driver sweep stops every service it removes,
// and ten services stuck in STOP_PENDING would otherwise hold the window for five minutes.
inline constexpr std::uint64_t kRunStopWaitBudgetMs = 60'000;

// The time that the stop waits of one run may still spend. The run owns one and hands it to
// every stop; each wait takes what it used. Once it is spent a stop still sends the control and
// queries once, but does not wait.
class StopWaitBudget {
  public:
    explicit StopWaitBudget(std::uint64_t totalMs = kRunStopWaitBudgetMs) : remainingMs_(totalMs) {}

    std::uint64_t RemainingMs() const { return remainingMs_; }
    void Spend(std::uint64_t ms) { remainingMs_ -= ms < remainingMs_ ? ms : remainingMs_; }

  private:
    std::uint64_t remainingMs_;
};

// Asks the manager to stop `name`, waits while the service reports progress towards the stopped
// state (within the bounds above and what is left of `budget`, which the wait spends), then, when
// `deleteAfterStop`, marks it for deletion whatever became of the stop. Opens the service with
// DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS on every call. Returns quietly when no service has
// that name. Raises EOSError when the manager cannot be opened or the service cannot be opened for
// any other reason.
void StopService(const Platform& platform, const std::wstring& name, bool deleteAfterStop,
                 StopWaitBudget& budget);

// Marks `name` for deletion without stopping it; a running service keeps running until it stops.
// Reports nothing and never raises.
void DeleteServiceByName(const Platform& platform, const std::wstring& name);

// Sets the start type of `name` to SERVICE_DISABLED and changes nothing else. The name goes to the
// manager as it is (no command interpreter sees it). Reports nothing and never raises.
void DisableServiceStart(const Platform& platform, const std::wstring& name);

}  // namespace hf

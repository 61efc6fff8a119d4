#pragma once
// The cleaning stages as the product runs them: each one calls the real stage with the platform.

#include "app/core/CleaningRun.h"
#include "platform/Platform.h"

namespace hf {

class PlatformStages final : public CleaningStages {
  public:
    explicit PlatformStages(const Platform& platform) : platform_(platform) {}

    void SweepScheduledTasks(PayloadLedger& ledger) override;
    void StopService(const std::wstring& name, bool deleteAfterStop,
                     StopWaitBudget& budget) override;
    void RemoveDriverServices(StopWaitBudget& budget) override;
    void DeleteServiceByName(const std::wstring& name) override;
    void PurgeFilterServiceKey() override;
    std::vector<RemainingPayload> RemainingPayloads(const PayloadLedger& ledger) override;

  private:
    const Platform& platform_;
};

}  // namespace hf

#include "app/core/PlatformStages.h"

#include "services/DriverSweep.h"
#include "services/FilterPurge.h"
#include "services/ServiceControl.h"
#include "tasks/TaskSweep.h"

namespace hf {

void PlatformStages::SweepScheduledTasks(PayloadLedger& ledger) {
    hf::SweepScheduledTasks(platform_, ledger);
}

void PlatformStages::StopService(const std::wstring& name, bool deleteAfterStop,
                                 StopWaitBudget& budget) {
    hf::StopService(platform_, name, deleteAfterStop, budget);
}

void PlatformStages::RemoveDriverServices(StopWaitBudget& budget) {
    hf::RemoveDriverServices(platform_, budget);
}

void PlatformStages::DeleteServiceByName(const std::wstring& name) {
    hf::DeleteServiceByName(platform_, name);
}

void PlatformStages::PurgeFilterServiceKey() {
    hf::PurgeFilterServiceKey(platform_);
}

std::vector<RemainingPayload> PlatformStages::RemainingPayloads(const PayloadLedger& ledger) {
    return FindRemainingPayloads(platform_, ledger);
}

}  // namespace hf

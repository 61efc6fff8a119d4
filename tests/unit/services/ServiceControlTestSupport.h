#pragma once
// What the service-control tests share: a platform over the fake thread and service manager,
// and checks on the recorded calls.

#include "platform/Platform.h"
#include "services/ServiceControl.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fakes/FakeSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hf::fake {

class ServiceControlTest : public ::testing::Test {
  protected:
    FakeSystem system;
    FakeServices services{system};
    // Only the two interfaces the service operations may use.
    Platform platform{.system = &system, .services = &services};
    // Each test is one run: the stops it makes on `platform` share one run's wait budget.
    StopWaitBudget runBudget;

    // Handles 1 and 2 are the manager and the service of the first call under test: the service
    // handle is closed first, then the manager's, and nothing stays open.
    void ExpectClosedServiceThenManager() {
        const auto closes = services.CallsOf(ServiceFn::CloseServiceHandle);
        ASSERT_EQ(closes.size(), 2u) << ::testing::PrintToString(services.Log());
        EXPECT_EQ(closes[0].handle, 2u) << "service handle first";
        EXPECT_EQ(closes[1].handle, 1u) << "then the manager's";
        EXPECT_EQ(services.calls.back().fn, ServiceFn::CloseServiceHandle) << "closing comes last";
        EXPECT_EQ(services.OpenHandles(), 0u);
    }
};

}  // namespace hf::fake

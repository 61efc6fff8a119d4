// The run with the real stages over the fake Windows: what the user sees when a stage fails
// for real, not through a stand-in stage.

#include "app/core/CleaningRun.h"
#include "app/core/PlatformStages.h"

#include "platform/Platform.h"
#include "tests/fakes/FakeScheduler.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/FakeSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hf {
namespace {

class Form final : public MainFormUi {
  public:
    void SetProgressPosition(int position) override { positions.push_back(position); }
    void SetProgressMax(int) override {}
    int AskYesNo(const std::wstring&) override {
        ++questions;
        return kIdNo;
    }
    void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
    void CloseMainWindow() override { closed = true; }

    std::vector<int> positions;
    std::vector<std::wstring> messages;
    int questions = 0;
    bool closed = false;
};

TEST(PlatformStages, RefusedGuardServiceEndsTheRunWithTheSystemErrorAt20) {
    fake::FakeSystem system;
    fake::FakeServices services(system);
    fake::FakeCom com;
    fake::FakeShell shell;
    // No scheduler object: the task sweep ends silently and the run reaches the services.
    com.createServiceResult = fake::kHResultFileNotFound;
    services.Add(L"RegGuardSvc");
    services.Fail(fake::ServiceFn::OpenServiceW, 5);

    Platform platform;
    platform.system = &system;
    platform.services = &services;
    platform.com = &com;
    PlatformStages stages(platform);
    Form form;

    btnStartClick(form, stages, shell);

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0],
              L"에러발생 재부팅 후 다시시도하세요 : System Error.  Code: 5.\r\nAccess is denied");
    EXPECT_EQ(form.positions, (std::vector<int>{0, 20})) << "the bar stays after the task sweep";
    EXPECT_EQ(form.questions, 0);
    EXPECT_FALSE(form.closed);
    EXPECT_TRUE(services.Exists(L"RegGuardSvc"));
    EXPECT_EQ(services.OpenHandles(), 0u);
    EXPECT_TRUE(shell.calls.empty());
}

}  // namespace
}  // namespace hf

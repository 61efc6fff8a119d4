// labstages: the tool's cleaning stages, the real stage functions over the product's Win32
// platform, run in the tool's order without the window, each one timed. It tells where the
// time of a benchmark run goes, stage by stage, beside the floor's phases. It changes the
// sandbox exactly as a run of the tool does.
// Output, one "key=value" line each: <stage>_ms (milliseconds, three decimals) and total_ms;
// "error=<stage> <message>" when a stage raised (the run stops there, as the tool's does).

#include <windows.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include "app/core/PlatformStages.h"
#include "lab/plant/LabWin32.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"

namespace {

double Now() {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring Ms(double ms) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", ms);
    return text;
}

}  // namespace

int wmain() {
    using hf::lab::PrintLine;
    const hf::Win32Platform platform;
    hf::PlatformStages stages(platform.Get());
    // One budget for the service waits and one ledger of payloads, as the run has.
    hf::StopWaitBudget budget;
    hf::PayloadLedger ledger;
    const std::pair<const wchar_t*, std::function<void()>> steps[] = {
        {L"tasks", [&] { stages.SweepScheduledTasks(ledger); }},
        {L"stop_guard", [&] { stages.StopService(L"RegGuardSvc", true, budget); }},
        {L"drivers", [&] { stages.RemoveDriverServices(budget); }},
        {L"delete_filter", [&] { stages.DeleteServiceByName(L"hffilter"); }},
        {L"stop_filter", [&] { stages.StopService(L"hffilter", false, budget); }},
        {L"purge_filter", [&] { stages.PurgeFilterServiceKey(); }},
        {L"remaining", [&] { stages.RemainingPayloads(ledger); }},
    };
    double total = 0;
    for (const auto& [name, run] : steps) {
        const double start = Now();
        try {
            run();
        } catch (const hf::Exception& e) {
            PrintLine(std::wstring(L"error=") + name + L" " + e.Message());
            return 1;
        } catch (const std::exception& e) {
            PrintLine(std::wstring(L"error=") + name + L" " + hf::Utf8ToUtf16(e.what()));
            return 1;
        }
        const double ms = Now() - start;
        total += ms;
        PrintLine(std::wstring(name) + L"_ms=" + Ms(ms));
    }
    PrintLine(L"total_ms=" + Ms(total));
    return 0;
}

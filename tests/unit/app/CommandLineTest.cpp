#include "app/core/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hf {
namespace {

TEST(ParseOptions, Table) {
    using enum RunMode;
    struct Case {
        std::vector<std::wstring> arguments;
        RunMode mode;
        bool quiet;
        bool forceRestart;
        bool utf8 = false;
    };
    const Case cases[] = {
        {{}, kWindow, false, false},
        {{L"/quiet"}, kQuiet, true, false},
        {{L"/q"}, kQuiet, true, false},
        {{L"-QUIET"}, kQuiet, true, false},
        {{L"-Q"}, kQuiet, true, false},
        {{L"/Quiet", L"/NoRestart"}, kQuiet, true, false},
        {{L"-forceRESTART", L"-q"}, kQuiet, true, true},
        {{L"/quiet", L"/quiet"}, kQuiet, true, false},
        {{L"/?"}, kUsage, false, false},
        {{L"-Help"}, kUsage, false, false},
        {{L"/q", L"/?"}, kUsage, true, false},
        {{L"/quiet", L"/forcerestart", L"/help"}, kUsage, true, false},
        // A restart option alone, or both of them.
        {{L"/norestart"}, kBadCommandLine, false, false},
        {{L"/forcerestart"}, kBadCommandLine, false, false},
        {{L"/forcerestart", L"/?"}, kBadCommandLine, false, false},
        {{L"/quiet", L"/norestart", L"/forcerestart"}, kBadCommandLine, true, false},
        // /utf8 where standard output is written, and alone (the window writes none).
        {{L"/quiet", L"/utf8"}, kQuiet, true, false, true},
        {{L"-UTF8", L"-q", L"/forcerestart"}, kQuiet, true, true, true},
        {{L"/q", L"/Utf8", L"/?"}, kUsage, true, false, true},
        {{L"/utf8"}, kBadCommandLine, false, false, true},
        {{L"/utf8", L"/help"}, kBadCommandLine, false, false, true},
        {{L"/quiet", L"/utf-8"}, kBadCommandLine, true, false, false},
        // /detect: alone, with /quiet and /utf8; never with a restart option.
        {{L"/detect"}, kDetect, false, false},
        {{L"-DETECT", L"/q"}, kDetect, true, false},
        {{L"/detect", L"/utf8"}, kDetect, false, false, true},
        {{L"/detect", L"/?"}, kUsage, false, false},
        {{L"/detect", L"/quiet", L"/norestart"}, kBadCommandLine, true, false},
        {{L"/detect", L"/quiet", L"/forcerestart"}, kBadCommandLine, true, false},
        {{L"/detected"}, kBadCommandLine, false, false},
        // Anything else.
        {{L"/bogus"}, kBadCommandLine, false, false},
        {{L"/quite"}, kBadCommandLine, false, false},
        {{L"/quiet", L"/bogus"}, kBadCommandLine, true, false},
        {{L"quiet"}, kBadCommandLine, false, false},
        {{L"--quiet"}, kBadCommandLine, false, false},
        {{L"/quiet "}, kBadCommandLine, false, false},
        {{L"/"}, kBadCommandLine, false, false},
        {{L""}, kBadCommandLine, false, false},
        {{L"\\quiet"}, kBadCommandLine, false, false},
        {{L"/qu\u0130et"}, kBadCommandLine, false, false},  // only a-z fold: not "quiet"
        {{std::wstring(L"/quiet\0x", 8)}, kBadCommandLine, false, false},
    };
    for (const Case& c : cases) {
        const Options options = ParseOptions(c.arguments);
        const std::string name = testing::PrintToString(c.arguments);
        EXPECT_EQ(options.mode, c.mode) << name;
        EXPECT_EQ(options.quiet, c.quiet) << name;
        EXPECT_EQ(options.forceRestart, c.forceRestart) << name;
        EXPECT_EQ(options.utf8, c.utf8) << name;
    }
}

}  // namespace
}  // namespace hf

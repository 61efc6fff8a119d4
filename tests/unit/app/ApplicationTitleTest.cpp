#include "app/core/ApplicationTitle.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(ApplicationTitle, FileNameCutAtFirstFullStopRestLowerCased) {
    struct Case {
        const wchar_t* path;
        const wchar_t* title;
    };
    const Case cases[] = {
        {L"C:\\Users\\kim\\Downloads\\hfremove.exe", L"hfremove"},
        {L"C:\\Tools\\HFREMOVE.EXE", L"Hfremove"},  // first character kept as it is
        {L"D:\\hfRemove.v2.exe", L"hfremove"},      // cut at the first of two full stops
        {L"\\\\server\\share\\hfremove.exe", L"hfremove"},
        {L"C:hfremove.exe", L"hfremove"},  // a drive-relative name
        {L"C:/tools/HfRemove.exe", L"Hfremove"},
        {L"hfremove", L"hfremove"},                   // no folder, no extension
        {L"C:\\a.b\\Tool", L"Tool"},                  // a full stop in a folder does not count
        {L"C:\\x\\.exe", L""},                        // nothing before the first full stop
        {L"C:\\x\\제거도구ABC.exe", L"제거도구abc"},  // only A to Z are lowered
        {L"C:\\x\\ÄBC.exe", L"Äbc"},
        {L"C:\\x\\aÄB.exe", L"aÄb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplicationTitle(c.path), c.title)
            << "path " << testing::PrintToString(std::wstring(c.path));
    }
}

}  // namespace
}  // namespace hf

// Version strings, file times, the Windows folder and the pattern cases against the real API.
// The fixtures are code-free DLLs next to this program, each with its own version resource.
#include "inspect/FileAge.h"
#include "inspect/Patterns.h"
#include "inspect/VersionInfo.h"
#include "inspect/WindowsFolder.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/win32/FilesWin32.h"
#include "platform/win32/SystemWin32.h"
#include "platform/win32/TimeWin32.h"
#include "platform/win32/VersionWin32.h"
#include "tests/unit/inspect/PatternCases.h"
#include "tests/wine/common/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace hf {
namespace {

class InspectWine : public ::testing::Test {
  protected:
    InspectWine() {
        platform.system = &system;
        platform.files = &files;
        platform.version = &version;
        platform.time = &time;
    }

    std::wstring Fixture(const wchar_t* name) const { return folder + name; }

    // The EOSError code GetOriginalFileName raises, or nullopt with the text in `text`.
    std::optional<std::uint32_t> OriginalOrError(const std::wstring& path, std::wstring& text) {
        try {
            text = GetOriginalFileName(platform, path);
            return std::nullopt;
        } catch (const EOSError& e) {
            return e.Code();
        }
    }

    Win32SystemApi system;
    Win32FileApi files;
    Win32VersionApi version;
    Win32TimeApi time;
    Platform platform;
    const std::wstring folder = wine::ExeDir();  // where the fixtures are
};

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidData = 13;
constexpr std::uint32_t kErrorBadPathname = 161;
constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;

TEST_F(InspectWine, VersionStringsOfTheFixtures) {
    struct Case {
        const wchar_t* file;
        const wchar_t* key;
        const wchar_t* lenient;              // GetVersionString(file, key)
        std::optional<std::uint32_t> error;  // what GetOriginalFileName raises, if it raises
        const wchar_t* original;             // else what it returns
        const char* why;
    };
    const Case cases[] = {
        {L"us.dll", L"ProductName", L"Probe", std::nullopt, L"us.dll", "040904B0 only"},
        {L"us.dll", L"OriginalFilename", L"us.dll", std::nullopt, L"us.dll", "either spelling"},
        {L"ko.sys", L"ProductName", L"\uC81C\uD488", std::nullopt, L"", "Korean first, .sys name"},
        {L"ko.sys", L"ProductVersion", L"2.0", std::nullopt, L"", "found under 040904B0"},
        {L"ko.sys", L"OriginalFilename", L"english.sys", std::nullopt, L"",
         "the strict query has no second translation"},
        {L"two.dll", L"ProductName", L"first", std::nullopt, L"", "first of two entries"},
        {L"two.dll", L"Comments", L"", std::nullopt, L"", "second entry never consulted"},
        {L"empty.dll", L"ProductName", L"", std::nullopt, L"", "empty string: no second try"},
        {L"es.dll", L"ProductName", L"Espa\u00f1ol", std::nullopt, L"hfFilter.sys", "0C0A04E4"},
        {L"none.dll", L"ProductName", L"", kErrorResourceDataNotFound, L"", "no resource"},
        {L"short.dll", L"ProductName", L"", kErrorInvalidData, L"", "half a translation entry"},
        {L"missing.dll", L"ProductName", L"", kErrorFileNotFound, L"", "no such file"},
    };
    for (const auto& c : cases) {
        const std::wstring path = Fixture(c.file);
        EXPECT_EQ(GetVersionString(platform, path, c.key), c.lenient)
            << c.why << " (" << c.file << ", " << c.key << ")";
        std::wstring text = L"untouched";
        const auto error = OriginalOrError(path, text);
        EXPECT_EQ(error, c.error) << c.why << " (" << c.file << ")";
        if (!c.error) {
            EXPECT_EQ(text, c.original) << c.why << " (" << c.file << ")";
        }
    }
}

TEST_F(InspectWine, NoTranslationTableRaisesWithTheLastErrorOfTheQuery) {
    EXPECT_EQ(GetVersionString(platform, Fixture(L"notable.dll"), L"ProductName"), L"");
    std::wstring text;
    // The failed VerQueryValueW leaves ERROR_RESOURCE_TYPE_NOT_FOUND (as Wine 8 does).
    EXPECT_EQ(OriginalOrError(Fixture(L"notable.dll"), text), kErrorResourceTypeNotFound)
        << "returned " << text;
}

TEST_F(InspectWine, EmptyPathIsAnError) {
    EXPECT_EQ(GetVersionString(platform, L"", L"ProductName"), L"");
    std::wstring text;
    // Wine 8 sizes the version information of "" with ERROR_BAD_PATHNAME.
    EXPECT_EQ(OriginalOrError(L"", text), kErrorBadPathname);
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, L"", 0), kNoTime);
    EXPECT_EQ(::GetLastError(), 3u) << "GetFileAttributesExW of \"\" gives ERROR_PATH_NOT_FOUND";
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, Fixture(L"missing.dll"), 0), kNoTime);
}

#ifdef HF_OTHER_BITNESS_FIXTURE
TEST_F(InspectWine, PeOfTheOtherArchitecture) {
    EXPECT_EQ(GetVersionString(platform, Fixture(L"other.dll"), L"ProductName"), L"Other bitness");
    std::wstring text;
    EXPECT_EQ(OriginalOrError(Fixture(L"other.dll"), text), std::nullopt);
    EXPECT_EQ(text, L"hfFilter.sys");
}
#endif

FILETIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    FILETIME f{};
    ::SystemTimeToFileTime(&t, &f);
    return f;
}

double Local(int y, int mo, int d, int h, int mi, int s, int ms) {
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(y);
    t.wMonth = static_cast<std::uint16_t>(mo);
    t.wDay = static_cast<std::uint16_t>(d);
    t.wHour = static_cast<std::uint16_t>(h);
    t.wMinute = static_cast<std::uint16_t>(mi);
    t.wSecond = static_cast<std::uint16_t>(s);
    t.wMilliseconds = static_cast<std::uint16_t>(ms);
    return EncodeDateTime(t);
}

TEST_F(InspectWine, FileTimesInLocalTimeWithTheRuleOfTheirDate) {
    // The test runs with TZ=Europe/Berlin: UTC+1 in winter, UTC+2 in summer.
    const std::wstring path = folder + L"times.txt";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME winter = Utc(2020, 1, 15, 10, 20, 30, 400);
    const FILETIME summer = Utc(2020, 7, 15, 10, 20, 30, 400);
    // Last access in winter, last write in summer.
    const BOOL set = ::SetFileTime(file, &summer, &winter, &summer);
    ::CloseHandle(file);
    ASSERT_TRUE(set);

    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, path, 1), Local(2020, 7, 15, 12, 20, 30, 400))
        << "last write, summer time";
    // Wine keeps no separate creation time: it always equals the last write.
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, path, 0), Local(2020, 7, 15, 12, 20, 30, 400))
        << "creation";
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, path, 2), Local(2020, 1, 15, 11, 20, 30, 400))
        << "last access, winter time";
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, path, 3), kNoTime);
    // Folders have times too.
    EXPECT_NE(GetFileDateTime(platform, folder, 0), kNoTime);
    ::DeleteFileW(path.c_str());
}

TEST_F(InspectWine, AFileMadeNowIsRecent) {
    const std::wstring path = folder + L"fresh.txt";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    const double now = LocalNow(platform);
    const double created = GetFileDateTime(platform, path, 0);
    EXPECT_EQ(WholeDaysBetween(now, created), 0);
    EXPECT_LT(std::abs(now - created) * 86400.0, 60.0) << "now " << now << ", created " << created;
    ::DeleteFileW(path.c_str());
}

TEST_F(InspectWine, WindowsFolderIsTheSystemsWindowsDirectory) {
    wchar_t expected[MAX_PATH] = {};
    ::GetWindowsDirectoryW(expected, MAX_PATH);
    const std::wstring got = GetWindowsFolder(platform);
    EXPECT_EQ(got, expected);  // Wine answers "C:\windows", lower case, no trailing separator
    EXPECT_EQ(::GetFileAttributesW((got + L"\\system32").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(PatternsWine, TheCaseTableHoldsForTheStaticEngine) {
    for (const auto& c : cases::kPatternCases) {
        const std::wstring expected = c.firstMatch;
        EXPECT_EQ(RegexFirstMatch(c.pattern, c.subject), expected) << c.why;
        EXPECT_EQ(RegexIsMatch(c.pattern, c.subject), !expected.empty()) << c.why;
    }
    for (const auto& c : cases::kPatternErrorCases) {
        try {
            RegexIsMatch(c.pattern, L"abc");
            ADD_FAILURE() << "no exception for pattern " << c.pattern;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

}  // namespace
}  // namespace hf

// The Wine ring links with -municode, whose start-up code calls wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

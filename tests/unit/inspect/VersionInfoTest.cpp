#include "inspect/VersionInfo.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeVersion.h"

#include <gtest/gtest.h>

#include <optional>

namespace hf {
namespace {

using fake::FakeVersionResource;

class VersionInfoTest : public ::testing::Test {
  protected:
    VersionInfoTest() {
        platform.system = &system;
        platform.files = &files;
        platform.version = &version;

        FakeVersionResource us;
        us.AddTranslation(0x0409, 0x04B0)
            .SetString(L"040904B0", L"ProductName", L"Probe")
            .SetString(L"040904B0", L"OriginalFilename", L"us.dll");
        files.AddFile(L"C:\\v\\us.dll", us);

        FakeVersionResource korean;
        korean.AddTranslation(0x0412, 0x04B0)
            .SetString(L"041204B0", L"ProductName", L"\uC81C\uD488")
            .SetString(L"040904B0", L"ProductVersion", L"1.0")
            .SetString(L"040904B0", L"OriginalFilename", L"english.sys");
        files.AddFile(L"C:\\v\\ko.sys", korean);

        FakeVersionResource empty;
        empty.AddTranslation(0x0412, 0x04B0)
            .SetString(L"041204B0", L"ProductName", L"")
            .SetString(L"041204B0", L"OriginalFilename", L"")
            .SetString(L"040904B0", L"ProductName", L"fallback");
        files.AddFile(L"C:\\v\\empty.dll", empty);

        FakeVersionResource two;
        two.AddTranslation(0x0412, 0x04B0)
            .AddTranslation(0x0407, 0x04E4)
            .SetString(L"040704E4", L"Comments", L"second")
            .SetString(L"040704E4", L"OriginalFilename", L"second.sys");
        files.AddFile(L"C:\\v\\two.dll", two);

        FakeVersionResource noTable;
        noTable.hasTranslation = false;
        noTable.SetString(L"040904B0", L"ProductName", L"Probe");
        files.AddFile(L"C:\\v\\notable.dll", noTable);

        FakeVersionResource shortTable;
        shortTable.translation = {0x09, 0x04};  // half an entry
        shortTable.SetString(L"040904B0", L"ProductName", L"Probe");
        files.AddFile(L"C:\\v\\short.dll", shortTable);

        FakeVersionResource mixedCase;
        mixedCase.AddTranslation(0x0C0A, 0x04E4)
            .SetString(L"0C0A04E4", L"ProductName", L"Espa\u00f1ol")
            .SetString(L"0C0A04E4", L"OriginalFilename", L"\U0001F600x.sys");
        files.AddFile(L"C:\\v\\es.dll", mixedCase);

        files.AddFile(L"C:\\v\\plain.dll");
        files.AddFile(L"C:\\v\\unreadable.dll", us);
        version.FailRead(L"C:\\v\\unreadable.dll", fake::kErrorAccessDenied);
        files.AddFile(L"C:\\v\\silent.dll", us);
        version.FailRead(L"C:\\v\\silent.dll", 0);
    }

    // The EOSError code GetOriginalFileName raises, or nullopt with the text in `text`.
    std::optional<std::uint32_t> OriginalOrError(const std::wstring& path, std::wstring& text) {
        try {
            text = GetOriginalFileName(platform, path);
            return std::nullopt;
        } catch (const EOSError& e) {
            lastMessage = e.Message();
            return e.Code();
        }
    }

    fake::FakeSystem system;
    fake::FakeFileSystem files{system};
    fake::FakeVersion version{system, files};
    Platform platform;
    std::wstring lastMessage;
};

TEST_F(VersionInfoTest, LenientQueryFallsBackToUsEnglishAndNeverFails) {
    struct Case {
        const wchar_t* path;
        const wchar_t* key;
        const wchar_t* expected;
        const char* why;
    };
    const Case cases[] = {
        {L"C:\\v\\us.dll", L"ProductName", L"Probe", "first translation has it"},
        {L"C:\\v\\ko.sys", L"ProductName", L"\uC81C\uD488", "Korean table, Korean text"},
        {L"C:\\v\\ko.sys", L"ProductVersion", L"1.0", "missing in 041204B0, found in 040904B0"},
        {L"C:\\v\\empty.dll", L"ProductName", L"", "existing empty string, no second try"},
        {L"C:\\v\\two.dll", L"Comments", L"", "only the first translation entry counts"},
        {L"C:\\v\\us.dll", L"Comments", L"", "missing under both"},
        {L"C:\\v\\es.dll", L"ProductName", L"Espa\u00f1ol", "upper-case hex digits"},
        {L"C:\\v\\plain.dll", L"ProductName", L"", "no version resource"},
        {L"C:\\v\\missing.dll", L"ProductName", L"", "no such file"},
        {L"", L"ProductName", L"", "empty path"},
        {L"C:\\v\\notable.dll", L"ProductName", L"", "no translation table"},
        {L"C:\\v\\short.dll", L"ProductName", L"", "translation table shorter than one entry"},
        {L"C:\\v\\unreadable.dll", L"ProductName", L"", "resource cannot be read"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetVersionString(platform, c.path, c.key), c.expected)
            << c.why << " (" << c.path << ", " << c.key << ")";
    }
}

TEST_F(VersionInfoTest, StrictQueryRaisesInExactlyTheThreeCases) {
    struct Case {
        const wchar_t* path;
        std::optional<std::uint32_t> error;
        const wchar_t* expected;
        const char* why;
    };
    const Case cases[] = {
        {L"C:\\v\\us.dll", std::nullopt, L"us.dll", "present"},
        {L"C:\\v\\ko.sys", std::nullopt, L"", "missing under the first translation: no fallback"},
        {L"C:\\v\\empty.dll", std::nullopt, L"", "existing empty string"},
        {L"C:\\v\\two.dll", std::nullopt, L"", "only the first translation entry counts"},
        {L"C:\\v\\es.dll", std::nullopt, L"\U0001F600x.sys", "astral character kept"},
        {L"C:\\v\\plain.dll", fake::kErrorResourceDataNotFound, L"", "size is 0"},
        {L"C:\\v\\missing.dll", fake::kErrorFileNotFound, L"", "size is 0: no file"},
        {L"", fake::kErrorBadPathname, L"", "size is 0: empty path"},
        {L"C:\\v\\unreadable.dll", fake::kErrorAccessDenied, L"", "read fails"},
        {L"C:\\v\\silent.dll", 0u, L"", "read fails without a last error"},
        {L"C:\\v\\notable.dll", fake::kErrorResourceTypeNotFound, L"", "no translation table"},
        {L"C:\\v\\short.dll", 13u, L"", "translation table shorter than one entry"},
    };
    for (const auto& c : cases) {
        std::wstring text = L"untouched";
        const auto error = OriginalOrError(c.path, text);
        EXPECT_EQ(error, c.error) << c.why << " (" << c.path << ")";
        if (!c.error) {
            EXPECT_EQ(text, c.expected) << c.why << " (" << c.path << ")";
        }
    }
}

// A block has a 16-bit length: the system asks for at most twice 65,535 bytes and 4. A file that
// claims more has no version information, and nothing of the size it claims is allocated.
TEST_F(VersionInfoTest, AClaimBeyondWhatABlockCanBeIsNoVersionInformation) {
    version.claimedSize = 131075;
    EXPECT_EQ(L"", GetVersionString(platform, L"C:\\v\\us.dll", L"ProductName"));
    std::wstring text;
    EXPECT_EQ(OriginalOrError(L"C:\\v\\us.dll", text), std::optional<std::uint32_t>(1812u));
    EXPECT_EQ(0, version.readCalls);
    version.claimedSize = 131074;
    EXPECT_EQ(L"Probe", GetVersionString(platform, L"C:\\v\\us.dll", L"ProductName"));
}

TEST_F(VersionInfoTest, StrictQueryMessageCarriesTheSystemText) {
    std::wstring text;
    ASSERT_EQ(OriginalOrError(L"C:\\v\\plain.dll", text), fake::kErrorResourceDataNotFound);
    EXPECT_EQ(lastMessage,
              L"System Error.  Code: 1812.\r\nThe specified image file did not contain a resource "
              L"section");
    ASSERT_EQ(OriginalOrError(L"C:\\v\\silent.dll", text), 0u);
    EXPECT_EQ(lastMessage, L"A call to an OS function failed");
}

TEST_F(VersionInfoTest, SubBlockPathsAreSpelledExactly) {
    GetVersionString(platform, L"C:\\v\\es.dll", L"ProductName");
    EXPECT_EQ(version.queries, (std::vector<std::wstring>{
                                   L"\\VarFileInfo\\Translation\\",
                                   L"\\StringFileInfo\\0C0A04E4\\ProductName",
                               }));

    // The fallback is asked even when the first entry already was 040904B0.
    version.queries.clear();
    GetVersionString(platform, L"C:\\v\\us.dll", L"OriginalFileName2");
    EXPECT_EQ(version.queries, (std::vector<std::wstring>{
                                   L"\\VarFileInfo\\Translation\\",
                                   L"\\StringFileInfo\\040904B0\\OriginalFileName2",
                                   L"\\StringFileInfo\\040904B0\\OriginalFileName2",
                               }));

    // The strict query: capital N, and no second translation.
    version.queries.clear();
    GetOriginalFileName(platform, L"C:\\v\\ko.sys");
    EXPECT_EQ(version.queries, (std::vector<std::wstring>{
                                   L"\\VarFileInfo\\Translation\\",
                                   L"\\StringFileInfo\\041204B0\\OriginalFileName",
                               }));
}

TEST_F(VersionInfoTest, EachCallReadsAfreshIntoABlockOfTheReportedSize) {
    GetVersionString(platform, L"C:\\v\\ko.sys", L"ProductName");
    GetVersionString(platform, L"C:\\v\\ko.sys", L"ProductVersion");
    EXPECT_EQ(version.sizeCalls, 2);
    EXPECT_EQ(version.readCalls, 2);
    const std::uint32_t size = version.GetFileVersionInfoSizeW(L"C:\\v\\ko.sys");
    EXPECT_EQ(version.readSizes, (std::vector<std::uint32_t>{size, size}));

    // No resource: nothing is read.
    GetVersionString(platform, L"C:\\v\\plain.dll", L"ProductName");
    std::wstring text;
    OriginalOrError(L"C:\\v\\plain.dll", text);
    EXPECT_EQ(version.readCalls, 2);
}

TEST_F(VersionInfoTest, EmptyValueWithoutItsOwnNulReadsOnToTheNextNul) {
    // Some resource compilers store "" with no characters at all; the value then points at
    // whatever follows, and the copy runs on to the first NUL there: in the fake's block, the
    // next entry's header, whose length field reads as one character.
    version.bareEmptyStrings = true;
    EXPECT_EQ(GetVersionString(platform, L"C:\\v\\empty.dll", L"ProductName"),
              std::wstring(1, wchar_t{24}));  // "\\VarFileInfo\\Translation" is 24 units
    std::wstring text = L"untouched";
    EXPECT_EQ(OriginalOrError(L"C:\\v\\empty.dll", text), std::nullopt);
    EXPECT_EQ(text, L"$");  // "\\StringFileInfo\\041204B0\\ProductName" is 36 units
}

TEST_F(VersionInfoTest, StringsAreCopiedUpToTheirNulWhateverLengthIsReported) {
    FakeVersionResource driver;
    driver.AddTranslation(0x0409, 0x04B0)
        .SetString(L"040904B0", L"OriginalFileName", L"hfFilter.sys");
    files.AddFile(L"C:\\v\\driver.sys", driver);
    struct Case {
        std::optional<std::uint32_t> reported;
        bool unterminated;
        const char* why;
    };
    const Case cases[] = {
        {3, false, "a crafted length shorter than the text hides nothing"},
        {0, false, "no length at all"},
        {0xFFFFFFFF, false, "a length past the block"},
        {std::nullopt, true, "no NUL: the last string ends with the block"},
        {3, true, "no NUL and a short length"},
    };
    for (const auto& c : cases) {
        version.reportedStringLength = c.reported;
        version.unterminatedStrings = c.unterminated;
        std::wstring text;
        EXPECT_EQ(OriginalOrError(L"C:\\v\\driver.sys", text), std::nullopt) << c.why;
        EXPECT_EQ(text, L"hfFilter.sys") << c.why;
        EXPECT_EQ(GetVersionString(platform, L"C:\\v\\driver.sys", L"OriginalFilename"),
                  L"hfFilter.sys")
            << c.why;
    }
}

}  // namespace
}  // namespace hf

#include "platform/Text.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(UpperCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(UpperCase(L"abz AZ 09 _-"), L"ABZ AZ 09 _-");
    // Letters outside a-z keep their case: the rules compare such names exactly.
    EXPECT_EQ(UpperCase(L"\u00e9\u00df\u0101"), L"\u00e9\u00df\u0101");
}

TEST(SameTextAZ, IgnoresOnlyAsciiCase) {
    EXPECT_TRUE(SameTextAZ(L"system32\\DRIVERS\\x.sys", L"System32\\drivers\\X.SYS"));
    EXPECT_FALSE(SameTextAZ(L"\u00e9.sys", L"\u00c9.sys"));
    EXPECT_FALSE(SameTextAZ(L"a.sys ", L"a.sys"));
}

TEST(Contains, IsCaseSensitive) {
    EXPECT_TRUE(Contains(L"C:\\WindowsPowerShell\\a", L"WindowsPowerShell"));
    EXPECT_FALSE(Contains(L"C:\\WINDOWSPOWERSHELL\\a", L"WindowsPowerShell"));
    EXPECT_TRUE(Contains(L"abc", L""));
}

struct Utf8Case {
    std::wstring wide;
    std::string utf8;
};

TEST(Utf16ToUtf8, EncodesEveryPlane) {
    const Utf8Case cases[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\uD55C\uAE00", "\xED\x95\x9C\xEA\xB8\x80"},  // Hangul
        {L"\uFFFD", "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.wide), c.utf8);
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.wide);
    }
}

TEST(Utf16ToUtf8, CombinesSurrogatePairsAndReplacesLoneOnes) {
    std::wstring pair;
    pair.push_back(static_cast<wchar_t>(0xD83D));
    pair.push_back(static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(Utf16ToUtf8(pair), "\xF0\x9F\x98\x80");

    std::wstring lone = L"a";
    lone.push_back(static_cast<wchar_t>(0xD800));
    lone += L"b";
    lone.push_back(static_cast<wchar_t>(0xDC00));
    EXPECT_EQ(Utf16ToUtf8(lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

TEST(Utf8ToUtf16, RoundTripsAstralPlane) {
    const std::wstring back = Utf8ToUtf16("\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(back), "\xF0\x9F\x98\x80");
    EXPECT_EQ(back.size(), sizeof(wchar_t) == 2 ? 2u : 1u);
}

TEST(Utf8ToUtf16, ReplacesInvalidSequences) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              L"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), L"\uFFFD");                      // truncated
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), L"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(WideFromUtf16Units, JoinsPairsWhereWideIs32BitAndKeepsLoneSurrogates) {
    const std::u16string units = {u'a', 0xD83D, 0xDE00, 0xDC00, u'b', 0xD800};
    const std::wstring wide = WideFromUtf16Units(units);
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(wide,
                  (std::wstring{L'a', wchar_t{0x1F600}, wchar_t{0xDC00}, L'b', wchar_t{0xD800}}));
    } else {
        EXPECT_EQ(wide, std::wstring(units.begin(), units.end()));
    }
    EXPECT_EQ(WideFromUtf16Units(u""), L"");
}

TEST(TrimTrailing, RemovesBlanksControlsAndFullStops) {
    EXPECT_EQ(TrimTrailing(L"Access is denied.\r\n"), L"Access is denied");
    EXPECT_EQ(TrimTrailing(L"  x . \t"), L"  x");
    EXPECT_EQ(TrimTrailing(L"..."), L"");
}

}  // namespace
}  // namespace hf

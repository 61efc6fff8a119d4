#include "inspect/Patterns.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "tests/unit/inspect/PatternCases.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(Patterns, FirstMatchAndIsMatchAgreeWithTheCaseTable) {
    for (const auto& c : cases::kPatternCases) {
        const std::wstring expected = c.firstMatch;
        EXPECT_EQ(RegexFirstMatch(c.pattern, c.subject), expected)
            << c.why << ": pattern " << c.pattern << " subject " << c.subject;
        EXPECT_EQ(RegexIsMatch(c.pattern, c.subject), !expected.empty())
            << c.why << ": pattern " << c.pattern << " subject " << c.subject;
    }
}

TEST(Patterns, LibraryNameMatchIsTheFirstMatchOfThePattern) {
    EXPECT_EQ(std::wstring(kLibraryPattern), cases::kLibraryPattern);
    for (const auto& c : cases::kPatternCases) {
        if (std::wstring_view(c.pattern) == cases::kLibraryPattern) {
            EXPECT_EQ(LibraryNameMatch(c.subject), c.firstMatch) << c.why << ": " << c.subject;
        }
    }
    // Long runs, where the unanchored search backs off from every position (kept short enough
    // for it to finish here): the two agree.
    const std::wstring run(3000, L'a');
    for (const std::wstring& field :
         {run + L"dl", run + L"-dll", run + L"dl-" + run + L".dll", L"-" + run + L"\ndll",
          run + L"\u00e9" + run + L"dl\u00e9dll"}) {
        EXPECT_EQ(LibraryNameMatch(field), RegexFirstMatch(kLibraryPattern, field))
            << field.size() << " characters ending " << field.substr(field.size() - 8);
    }
    EXPECT_EQ(LibraryNameMatch(std::wstring(1000000, L'a') + L"-dll").size(), 1000004u);
}

TEST(Patterns, RejectedPatternsRaiseWithTheEngineText) {
    for (const auto& c : cases::kPatternErrorCases) {
        for (int operation = 0; operation < 2; ++operation) {
            try {
                if (operation == 0) {
                    RegexFirstMatch(c.pattern, L"abc");
                } else {
                    RegexIsMatch(c.pattern, L"abc");
                }
                ADD_FAILURE() << "no exception for pattern " << c.pattern;
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), c.message) << "pattern " << c.pattern;
            }
        }
    }
}

TEST(Patterns, SurrogatePairsComeBackUnchanged) {
    // U+1F600 is one character: a surrogate pair where wchar_t is 16-bit.
    const std::wstring face = Utf8ToUtf16("\xF0\x9F\x98\x80");
    EXPECT_EQ(RegexFirstMatch(L"^.$", face), face);
    EXPECT_EQ(RegexFirstMatch(L"x.y", L"ax" + face + L"yb"), L"x" + face + L"y");
}

}  // namespace
}  // namespace hf

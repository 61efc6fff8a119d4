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

#include "lib/PerlRegEx.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <string>

namespace hf {
namespace {

TEST(TPerlRegEx, CreateGivesTheDocumentedStartingValues) {
    TPerlRegEx regex;
    EXPECT_FALSE(regex.Compiled());
    EXPECT_FALSE(regex.Studied());
    EXPECT_EQ(regex.Options(), 0);
    EXPECT_EQ(regex.State(), preNotEmpty);
    EXPECT_EQ(regex.RegEx(), "");
    EXPECT_EQ(regex.Subject(), "");
    EXPECT_EQ(regex.Start(), 0);
    EXPECT_EQ(regex.Stop(), 0);
    EXPECT_EQ(regex.OffsetCount(), 0);
    for (int i = 0; i <= TPerlRegEx::kOffsetRoom; ++i) {
        ASSERT_EQ(regex.Offset(i), 0) << "offset " << i;
    }
    // UTF-8 mode; the any-newline convention is set on the compile context, not here.
    EXPECT_EQ(regex.PcreOptions(), static_cast<std::uint32_t>(PCRE2_UTF));
}

TEST(TPerlRegEx, SubjectSetsTheSearchRangeInBytesAndForgetsTheMatch) {
    TPerlRegEx regex;
    regex.SetRegEx("b");
    regex.SetSubject("abc");
    ASSERT_TRUE(regex.Match());
    EXPECT_EQ(regex.OffsetCount(), 1);
    regex.SetSubject("\xED\x95\x9C\xEA\xB5\xAD");  // two Hangul syllables, six bytes
    EXPECT_EQ(regex.Start(), 1);
    EXPECT_EQ(regex.Stop(), 6);
    EXPECT_EQ(regex.OffsetCount(), 0);
    EXPECT_THROW(regex.MatchedText(), Exception);
}

TEST(TPerlRegEx, SamePatternKeepsTheCompiledFormNewOneDropsIt) {
    TPerlRegEx regex;
    regex.SetRegEx("a+");
    regex.Compile();
    EXPECT_TRUE(regex.Compiled());
    regex.SetRegEx("a+");
    EXPECT_TRUE(regex.Compiled());
    regex.SetSubject("xaay");
    ASSERT_TRUE(regex.Match());
    regex.SetRegEx("y");
    EXPECT_FALSE(regex.Compiled());
    EXPECT_EQ(regex.OffsetCount(), 0);
    ASSERT_TRUE(regex.Match());  // compiles on demand
    EXPECT_TRUE(regex.Compiled());
    EXPECT_EQ(regex.MatchedText(), "y");
}

TEST(TPerlRegEx, OffsetsAreOneBasedBytePositions) {
    TPerlRegEx regex;
    regex.SetRegEx("(b+)(x)?(c)");
    regex.SetSubject(
        "\xC3\xA9"
        "abbc");  // e-acute takes bytes 1 and 2
    ASSERT_TRUE(regex.Match());
    EXPECT_EQ(regex.OffsetCount(), 4);
    const int expected[] = {4, 7, 4, 6, 0, 0, 6, 7};  // the unset group reads 0
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(regex.Offset(i), expected[i]) << "offset " << i;
    }
    EXPECT_EQ(regex.Start(), 7);
    EXPECT_EQ(regex.MatchedText(), "bbc");
}

TEST(TPerlRegEx, MatchedTextNeedsASuccessfulMatch) {
    TPerlRegEx regex;
    regex.SetRegEx("z");
    regex.SetSubject("abc");
    try {
        (void)regex.MatchedText();
        FAIL() << "no exception before any match";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"REQUIRE: There must be a successful match first");
    }
    EXPECT_FALSE(regex.Match());
    EXPECT_THROW((void)regex.MatchedText(), Exception);
}

TEST(TPerlRegEx, FullOffsetsVectorIsNoMatch) {
    // 160 groups need more than the 150 pairs of room: the engine returns 0, which is no match.
    std::string pattern;
    for (int i = 0; i < 160; ++i) {
        pattern += "(a)";
    }
    TPerlRegEx regex;
    regex.SetRegEx(pattern);
    regex.SetSubject(std::string(160, 'a'));
    EXPECT_FALSE(regex.Match());
    EXPECT_EQ(regex.OffsetCount(), 0);
    EXPECT_THROW((void)regex.MatchedText(), Exception);

    // 149 groups and the whole match fit.
    pattern.clear();
    for (int i = 0; i < 149; ++i) {
        pattern += "(a)";
    }
    regex.SetRegEx(pattern);
    regex.SetSubject(std::string(149, 'a'));
    ASSERT_TRUE(regex.Match());
    EXPECT_EQ(regex.OffsetCount(), 150);
    EXPECT_EQ(regex.Offset(299), 150);
    EXPECT_EQ(regex.Offset(300), 0);
}

TEST(TPerlRegEx, EmptyPatternIsRejectedAtCompile) {
    TPerlRegEx regex;
    regex.SetSubject("abc");
    try {
        regex.Match();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  L"TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    EXPECT_FALSE(regex.Compiled());
}

TEST(TPerlRegEx, FailedCompileLeavesNoCompiledForm) {
    TPerlRegEx regex;
    regex.SetRegEx("a");
    regex.Compile();
    regex.SetRegEx("(");
    EXPECT_THROW(regex.Compile(), Exception);
    EXPECT_FALSE(regex.Compiled());
    regex.SetSubject("(");
    EXPECT_THROW(regex.Match(), Exception);  // tries again, fails again
}

TEST(TPerlRegEx, ObjectsAreIndependent) {
    // Each object owns its tables and pattern; many in a row release everything (LeakSanitizer
    // watches this in the sanitizer build).
    for (int i = 0; i < 200; ++i) {
        TPerlRegEx regex;
        regex.SetRegEx(i % 2 == 0 ? "\\d+" : "[a-z]+");
        regex.SetSubject("abc123");
        ASSERT_TRUE(regex.Match());
        EXPECT_EQ(regex.MatchedText(), i % 2 == 0 ? "123" : "abc");
    }
}

}  // namespace
}  // namespace hf

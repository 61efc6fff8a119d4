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
    // Room for the whole match and 99 groups: a match that sets the 100th group does not fit;
    // the engine returns 0, which is no match.
    auto groups = [](int count, const std::string& tail = "") {
        std::string pattern;
        for (int i = 0; i < count; ++i) {
            pattern += "(a)";
        }
        return pattern + tail;
    };
    TPerlRegEx regex;
    regex.SetRegEx(groups(100));
    regex.SetSubject(std::string(100, 'a'));
    EXPECT_FALSE(regex.Match());
    EXPECT_EQ(regex.OffsetCount(), 0);
    EXPECT_THROW((void)regex.MatchedText(), Exception);
    regex.SetRegEx(groups(160));
    regex.SetSubject(std::string(160, 'a'));
    EXPECT_FALSE(regex.Match());

    // 99 groups and the whole match fit, and so does a 100th group that takes no part.
    for (const std::string& pattern : {groups(99), groups(99, "(x)?")}) {
        regex.SetRegEx(pattern);
        regex.SetSubject(std::string(99, 'a'));
        ASSERT_TRUE(regex.Match()) << pattern.size();
        EXPECT_EQ(regex.OffsetCount(), 100);
        EXPECT_EQ(regex.Offset(199), 100);
        EXPECT_EQ(regex.Offset(200), 0);
    }
}

TEST(TPerlRegEx, AnchoredMatchTriesOnePositionAndReadsOnlyTheGivenBytes) {
    TPerlRegEx regex;
    regex.SetRegEx("[a-z]*.dll");
    regex.SetSubject("-ab-dll,x.dll");
    ASSERT_TRUE(regex.MatchAnchored(2, 13));  // from the a: ab-dll
    EXPECT_EQ(regex.MatchedText(), "ab-dll");
    EXPECT_EQ(regex.Offset(0), 2);
    EXPECT_EQ(regex.Start(), 8);
    EXPECT_FALSE(regex.MatchAnchored(1, 13));  // the hyphen starts no match; no search on
    EXPECT_EQ(regex.OffsetCount(), PCRE2_ERROR_NOMATCH);
    EXPECT_FALSE(regex.MatchAnchored(2, 6));  // the l that would end it lies past stop
    ASSERT_TRUE(regex.MatchAnchored(9, 13));
    EXPECT_EQ(regex.MatchedText(), "x.dll");
    // Positions outside the subject are no match rather than an engine error.
    EXPECT_FALSE(regex.MatchAnchored(0, 13));
    EXPECT_FALSE(regex.MatchAnchored(3, 1));
    EXPECT_FALSE(regex.MatchAnchored(1, 14));
    EXPECT_FALSE(regex.MatchAnchored(14, 13));  // the end itself: nothing to match
    // An empty match is refused here too.
    regex.SetRegEx("a*");
    EXPECT_FALSE(regex.MatchAnchored(1, 13));
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

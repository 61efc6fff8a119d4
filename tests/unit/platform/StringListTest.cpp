#include "platform/Errors.h"
#include "platform/StringList.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(TStringList, ReadsInOrderFromZero) {
    TStringList list;
    list.Add(L"a");
    list.Add(L"");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], L"a");
    EXPECT_EQ(list[1], L"");
}

TEST(TStringList, ReadingPastTheEndRaisesWithTheIndex) {
    TStringList list;
    try {
        (void)list[0];
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), L"List index out of bounds (0)");
    }
    list.Add(L"x");
    try {
        (void)list.Strings(1);
        FAIL() << "no exception";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.Message(), L"List index out of bounds (1)");
    }
    EXPECT_THROW((void)list[-1], EStringListError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace hf

#include "tasks/FieldSplit.h"

#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hf {
namespace {

std::wstring Show(const std::vector<std::wstring>& fields) {
    std::wstring shown;
    for (const std::wstring& field : fields) {
        shown += L"[" + field + L"]";
    }
    return shown;
}

TEST(SplitFields, FollowsTheQuotingAndDelimiterRules) {
    struct Case {
        std::wstring text;
        std::vector<std::wstring> fields;
    };
    const Case cases[] = {
        {L"", {}},
        {L"abc12345.dll,Qw3rty7890", {L"abc12345.dll", L"Qw3rty7890"}},
        {L"\"C:\\Users\\a b\\abc12345.dll\",Qw3rty7890",
         {L"C:\\Users\\a b\\abc12345.dll", L"Qw3rty7890"}},
        {L"abc12345.dll, Qw3rty7890", {L"abc12345.dll", L" Qw3rty7890"}},
        {L" a , b ", {L" a ", L" b "}},
        {L"abc12345.dll", {L"abc12345.dll"}},
        {L"a,", {L"a", L""}},
        {L",", {L"", L""}},
        {L"a,,b", {L"a", L"", L"b"}},
        {L",a", {L"", L"a"}},
        {L"\"a,b\",c", {L"a,b", L"c"}},
        {L"\"a\"\"b\",c", {L"a\"b", L"c"}},
        {L"\"\"\"\"", {L"\""}},
        {L"\"\"", {L""}},
        {L"\"a\"b,c", {L"a", L"b", L"c"}},
        {L"\"a\" b", {L"a", L" b"}},
        {L"\"a\",", {L"a", L""}},
        {L"a\"b,c", {L"a\"b", L"c"}},
        {L"x,\"y\"", {L"x", L"y"}},
        // A quote that is never closed runs to the end, its last character included.
        {L"\"abc", {L"abc"}},
        {L"\"a,b", {L"a,b"}},
        {L"x,\"C:\\a b\\abc12345.dll", {L"x", L"C:\\a b\\abc12345.dll"}},
        {L"\"", {L""}},
    };
    for (const Case& c : cases) {
        TStringList list;
        SplitFields(c.text, list);
        const std::vector<std::wstring> got(list.begin(), list.end());
        EXPECT_EQ(Show(c.fields), Show(got)) << "text: " << Utf16ToUtf8(c.text);
    }
}

TEST(SplitFields, AppendsToTheList) {
    TStringList list;
    list.Add(L"kept");
    SplitFields(L"a,b", list);
    ASSERT_EQ(3, list.Count());
    EXPECT_EQ(L"kept", list[0]);
    EXPECT_EQ(L"b", list[2]);
}

}  // namespace
}  // namespace hf

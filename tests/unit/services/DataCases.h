#pragma once
// The value-to-text cases of TRegistry::GetDataAsString, shared by the native ring (against the
// fake registry) and the Wine ring (against the real one).

#include "platform/Registry.h"
#include "tests/fakes/Utf16Le.h"

#include <string>
#include <vector>

namespace hf::testcases {

using test::Bytes;
using test::Le32;
using test::Utf16Le;

struct DataCase {
    std::wstring name;  // "" is the default value
    std::uint32_t type;
    Bytes data;
    std::wstring expected;
};

inline std::vector<DataCase> DataCases() {
    return {
        {L"Sz", reg::kTypeSz, Utf16Le(L"system32\\drivers\\x.sys"), L"system32\\drivers\\x.sys"},
        {L"SzStopsAtNul", reg::kTypeSz, Utf16Le(std::wstring(L"abc\0def", 7)), L"abc"},
        {L"SzUnterminated", reg::kTypeSz, Utf16Le(L"abc", false), L"abc"},
        {L"SzOddBytes", reg::kTypeSz, Bytes{'a', 0, 'b', 0, 'c'}, L"ab"},
        {L"SzOneByte", reg::kTypeSz, Bytes{'a'}, L""},
        {L"SzOnlyNul", reg::kTypeSz, Utf16Le(L""), L""},
        {L"SzAccented", reg::kTypeSz, Utf16Le(L"\u00C9t\u00E9"), L"\u00C9t\u00E9"},
        {L"SzBeyondBmp", reg::kTypeSz, Utf16Le(L"a\U0001F600b"), L"a\U0001F600b"},
        {L"ExpandSz", reg::kTypeExpandSz, Utf16Le(L"%SystemRoot%\\x.sys"), L"%SystemRoot%\\x.sys"},
        {L"Dword", reg::kTypeDword, Le32(42), L"42"},
        {L"DwordAllBits", reg::kTypeDword, Le32(0xFFFFFFFF), L"-1"},
        {L"DwordLowest", reg::kTypeDword, Le32(0x80000000), L"-2147483648"},
        {L"DwordShort", reg::kTypeDword, Bytes{0x01, 0x02}, L"513"},
        {L"Binary", reg::kTypeBinary, Bytes{0x00, 0xAB, 0x0F}, L"00,AB,0F"},
        {L"MultiSz", reg::kTypeMultiSz, Bytes{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0},
         L"61,00,00,00,62,00,00,00,00,00"},
        {L"Qword", reg::kTypeQword, Bytes{1, 2, 3, 4, 5, 6, 7, 0xFF}, L"01,02,03,04,05,06,07,FF"},
        {L"None", reg::kTypeNone, Bytes{0x7F}, L"7F"},
        {L"DwordBigEndian", reg::kTypeDwordBigEndian, Bytes{0, 0, 0, 1}, L"00,00,00,01"},
        {L"EmptyBinary", reg::kTypeBinary, Bytes{}, L""},
        {L"EmptySz", reg::kTypeSz, Bytes{}, L""},
        {L"", reg::kTypeSz, Utf16Le(L"the default"), L"the default"},
    };
}

}  // namespace hf::testcases

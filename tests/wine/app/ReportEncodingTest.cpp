// The report's OEM encoding through the real conversion, under a Korean locale: ctest runs this
// test with LC_ALL=ko_KR.UTF-8, where Wine's OEM code page is 949, as on Korean Windows.

#include "app/core/Report.h"
#include "platform/win32/SystemWin32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace hf {
namespace {

// `bytes` read back as the tools that capture the report read it: decoded with code page 949.
std::wstring FromCodePage949(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    const int length = ::MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, bytes.data(),
                                             static_cast<int>(bytes.size()), text.data(),
                                             static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

TEST(ReportEncoding, KoreanLinesInCodePage949) {
    Win32SystemApi system;
    ASSERT_EQ(system.GetOEMCP(), 949u) << "this test runs under LC_ALL=ko_KR.UTF-8 (scripts/deps)";
    const ReportEncoding encoding(system);
    // A payload under a Hangul profile folder (홍길동), the failure text's Korean prefix (에러발생
    // 재부팅 후 다시시도하세요 : ): the code page's bytes, read back exactly.
    const std::wstring path = L"C:\\Users\\\uD64D\uAE38\uB3D9\\x.dll";
    const std::wstring failure =
        L"\uC5D0\uB7EC\uBC1C\uC0DD \uC7AC\uBD80\uD305 \uD6C4 "
        L"\uB2E4\uC2DC\uC2DC\uB3C4\uD558\uC138\uC694 : Code: 5.";
    EXPECT_EQ(ReportLine(L"deleted", path, encoding),
              "deleted\tC:\\Users\\\xC8\xAB\xB1\xE6\xB5\xBF\\x.dll\r\n");
    EXPECT_EQ(FromCodePage949(ReportLine(L"deleted", path, encoding)),
              L"deleted\t" + path + L"\r\n");
    EXPECT_EQ(ReportLine(L"failure", failure, encoding),
              "failure\t\xBF\xA1\xB7\xAF\xB9\xDF\xBB\xFD \xC0\xE7\xBA\xCE\xC6\xC3 \xC8\xC4 "
              "\xB4\xD9\xBD\xC3\xBD\xC3\xB5\xB5\xC7\xCF\xBC\xBC\xBF\xE4 : Code: 5.\r\n");
    EXPECT_EQ(FromCodePage949(ReportLine(L"failure", failure, encoding)),
              L"failure\t" + failure + L"\r\n");
    // Characters code page 949 lacks ('é', Thai ko kai) between two it has ('€', '홍'): escaped,
    // never a look-alike ('e', which Wine's best fit gives) or '?'.
    EXPECT_EQ(ReportLine(L"deleted", L"caf\u00E9\u20AC\u0E01\uD64D", encoding),
              "deleted\tcaf%u00E9\xA2\xE6%u0E01\xC8\xAB\r\n");
}

}  // namespace
}  // namespace hf

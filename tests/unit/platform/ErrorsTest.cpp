#include "platform/Errors.h"
#include "tests/fakes/FakeSystem.h"

#include <gtest/gtest.h>

namespace hf {
namespace {

TEST(EOSError, CarriesCodeAndSystemText) {
    fake::FakeSystem system;
    system.lastError = 5;
    try {
        RaiseLastOSError(system);
        FAIL() << "no exception";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), 5u);
        EXPECT_EQ(e.Message(), L"System Error.  Code: 5.\r\nAccess is denied");
    }
}

TEST(EOSError, CodeZeroHasTheFixedText) {
    fake::FakeSystem system;
    system.lastError = 0;
    try {
        RaiseLastOSError(system);
        FAIL() << "no exception";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), 0u);
        EXPECT_EQ(e.Message(), L"A call to an OS function failed");
    }
}

TEST(EOSError, UnknownCodeKeepsTheHeader) {
    fake::FakeSystem system;
    system.lastError = 4242;
    try {
        RaiseLastOSError(system);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"System Error.  Code: 4242.\r\n");
        EXPECT_STREQ(e.what(), "System Error.  Code: 4242.\r\n");
    }
}

TEST(OleErrorMessage, PrefersDescriptionThenSystemTextThenCode) {
    EXPECT_EQ(OleErrorMessage(static_cast<std::int32_t>(0x80070005), L"Folder refused. \r\n",
                              L"Access is denied.\r\n"),
              L"Folder refused");
    EXPECT_EQ(OleErrorMessage(static_cast<std::int32_t>(0x80070005), L"", L"Access is denied.\r\n"),
              L"Access is denied");
    EXPECT_EQ(OleErrorMessage(static_cast<std::int32_t>(0x80041234), L" . ", L""),
              L"OLE error 80041234");
    EXPECT_EQ(OleErrorMessage(static_cast<std::int32_t>(0x8004130F), L"", L""),
              L"OLE error 8004130F");
    EXPECT_EQ(OleErrorMessage(0x0000ABCD, L"", L""), L"OLE error 0000ABCD");
}

}  // namespace
}  // namespace hf

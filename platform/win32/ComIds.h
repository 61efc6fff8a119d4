#pragma once
// The class and interface ids the product creates its COM objects by, in binary form. A class id
// the portable code also spells as text (platform/Com.h) is read from that text at compile time,
// so it is written once; the ids the Windows headers carry as constants are checked against them.

#include "platform/Com.h"

#include <windows.h>
#include <msxml2.h>
#include <taskschd.h>

#include <stdexcept>

namespace hf {

// A GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". Used in constant
// expressions only: a malformed text does not compile.
constexpr GUID GuidFromText(const wchar_t (&text)[39]) {
    auto hex = [&text](int from, int digits) {
        unsigned long value = 0;
        for (int i = from; i < from + digits; ++i) {
            const wchar_t c = text[i];
            const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                              : c >= L'A' && c <= L'F' ? c - L'A' + 10
                              : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                       : -1;
            if (digit < 0) {
                throw std::invalid_argument("not a GUID");
            }
            value = value * 16 + static_cast<unsigned long>(digit);
        }
        return value;
    };
    if (text[0] != L'{' || text[9] != L'-' || text[14] != L'-' || text[19] != L'-' ||
        text[24] != L'-' || text[37] != L'}') {
        throw std::invalid_argument("not a GUID");
    }
    GUID guid{};
    guid.Data1 = hex(1, 8);
    guid.Data2 = static_cast<unsigned short>(hex(10, 4));
    guid.Data3 = static_cast<unsigned short>(hex(15, 4));
    guid.Data4[0] = static_cast<unsigned char>(hex(20, 2));
    guid.Data4[1] = static_cast<unsigned char>(hex(22, 2));
    for (int i = 0; i < 6; ++i) {
        guid.Data4[2 + i] = static_cast<unsigned char>(hex(25 + 2 * i, 2));
    }
    return guid;
}

constexpr bool SameGuid(const GUID& a, const GUID& b) {
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

// The version-independent MSXML DOMDocument (MinGW's headers give it no constant value).
inline constexpr CLSID kClsidDomDocument = GuidFromText(kDomDocumentClassId);
// The Task Scheduler 2.0 service and its interface, as the headers give them.
inline constexpr CLSID kClsidTaskScheduler = __uuidof(TaskScheduler);
inline constexpr IID kIidTaskService = __uuidof(ITaskService);
static_assert(SameGuid(kClsidTaskScheduler, GuidFromText(kTaskSchedulerClassId)));
// {2933BF95-7B36-11D2-B20E-00C04F983E60}: IXMLDOMDocument2 (MinGW's __uuidof lacks it).
inline constexpr IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

}  // namespace hf

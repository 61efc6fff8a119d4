#include "platform/win32/TimeWin32.h"

#include <windows.h>

namespace hf {

namespace {

SYSTEMTIME ToWin32(const SystemTime& time) {
    SYSTEMTIME result{};
    result.wYear = time.wYear;
    result.wMonth = time.wMonth;
    result.wDayOfWeek = time.wDayOfWeek;
    result.wDay = time.wDay;
    result.wHour = time.wHour;
    result.wMinute = time.wMinute;
    result.wSecond = time.wSecond;
    result.wMilliseconds = time.wMilliseconds;
    return result;
}

SystemTime FromWin32(const SYSTEMTIME& time) {
    SystemTime result;
    result.wYear = time.wYear;
    result.wMonth = time.wMonth;
    result.wDayOfWeek = time.wDayOfWeek;
    result.wDay = time.wDay;
    result.wHour = time.wHour;
    result.wMinute = time.wMinute;
    result.wSecond = time.wSecond;
    result.wMilliseconds = time.wMilliseconds;
    return result;
}

}  // namespace

bool Win32TimeApi::FileTimeToSystemTime(const FileTime& fileTime, SystemTime& systemTime) {
    const FILETIME in{fileTime.dwLowDateTime, fileTime.dwHighDateTime};
    SYSTEMTIME out{};
    if (!::FileTimeToSystemTime(&in, &out)) {
        return false;
    }
    systemTime = FromWin32(out);
    return true;
}

bool Win32TimeApi::SystemTimeToTzSpecificLocalTime(const SystemTime& universal, SystemTime& local) {
    const SYSTEMTIME in = ToWin32(universal);
    SYSTEMTIME out{};
    // No zone given: the active time zone, with the daylight rule of the date converted.
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &in, &out)) {
        return false;
    }
    local = FromWin32(out);
    return true;
}

void Win32TimeApi::GetLocalTime(SystemTime& local) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    local = FromWin32(now);
}

}  // namespace hf

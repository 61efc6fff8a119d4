#include "inspect/FileAge.h"

#include "platform/Time.h"

#include <cmath>
#include <limits>

namespace hf {

double FileTimeToLocalDateTime(const Platform& platform, const FileTime& fileTime) {
    TimeApi& time = platform.Time();
    SystemTime universal;
    if (!time.FileTimeToSystemTime(fileTime, universal)) {
        return kNoTime;
    }
    SystemTime local;
    if (!time.SystemTimeToTzSpecificLocalTime(universal, local)) {
        return kNoTime;
    }
    return EncodeDateTime(local);
}

double GetFileDateTime(const Platform& platform, const std::wstring& path, std::uint16_t selector) {
    FileAttributeData record;
    if (!platform.Files().GetFileAttributesExW(path, record)) {
        return kNoTime;
    }
    switch (selector) {
        case kCreationTime:
            return FileTimeToLocalDateTime(platform, record.ftCreationTime);
        case kLastWriteTime:
            return FileTimeToLocalDateTime(platform, record.ftLastWriteTime);
        case kLastAccessTime:
            return FileTimeToLocalDateTime(platform, record.ftLastAccessTime);
        default:
            return kNoTime;
    }
}

double LocalNow(const Platform& platform) {
    SystemTime now;
    platform.Time().GetLocalTime(now);
    return EncodeDateTime(now);
}

std::int32_t WholeDaysBetween(double now, double then) {
    const double span = now < then ? then - now : now - then;
    // Out of range (or not a number) would be undefined to convert; such a span is "very far".
    if (!(span < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(span);  // truncates toward zero
}

}  // namespace hf

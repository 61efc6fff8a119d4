#pragma once
#include "platform/Time.h"

namespace hf {

class Win32TimeApi final : public TimeApi {
  public:
    bool FileTimeToSystemTime(const FileTime& fileTime, SystemTime& systemTime) override;
    bool SystemTimeToTzSpecificLocalTime(const SystemTime& universal, SystemTime& local) override;
    void GetLocalTime(SystemTime& local) override;
};

}  // namespace hf

#pragma once
#include "platform/Services.h"

namespace hf {

// The service control manager of the running system (advapi32).
class Win32ServiceApi final : public ServiceApi {
  public:
    ScHandle OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                            std::uint32_t access) override;
    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override;
    bool DeleteService(ScHandle service) override;
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override;
    bool CloseServiceHandle(ScHandle handle) override;
};

}  // namespace hf

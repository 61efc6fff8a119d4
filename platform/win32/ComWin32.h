#pragma once
#include "platform/Com.h"

namespace hf {

// COM, the Task Scheduler and MSXML through the real COM runtime of the calling thread.
class Win32ComApi final : public ComApi {
  public:
    HResult CoInitialize() override;
    void CoUninitialize() override;
    HResult CreateTaskService(std::unique_ptr<TaskService>& service) override;
    HResult CreateXmlDocument(std::unique_ptr<XmlDocument>& document) override;
};

}  // namespace hf

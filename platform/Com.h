#pragma once
// COM on the calling thread, the Task Scheduler 2.0 objects and the MSXML DOM document, at the
// granularity of the COM calls the sweep makes. Every call reports what COM reports: an HRESULT
// and, when the call failed and the object supplied one, its error description (IErrorInfo).
// Objects handed out are owned by the caller; a child object keeps what it needs of its parent
// alive, as a COM reference does.

#include "platform/Errors.h"
#include "platform/System.h"

#include <cstdint>
#include <memory>
#include <string>

namespace hf {

using HResult = std::int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057);
inline constexpr HResult kRpcEChangedMode = static_cast<HResult>(0x80010106);
inline constexpr HResult kRegDbEClassNotReg = static_cast<HResult>(0x80040154);

// The result of one COM call.
struct ComStatus {
    HResult hr = kSOk;
    std::wstring description;  // the failing object's error description; empty when none

    bool Failed() const noexcept { return hr < 0; }
};

// TASK_ENUM_HIDDEN: GetTasks includes hidden tasks.
inline constexpr std::int32_t kTaskEnumHidden = 1;

// The classes the sweep creates, in registry form: the version-independent MSXML DOMDocument
// and the Task Scheduler 2.0 service (the binary forms: platform/win32/ComIds.h).
inline constexpr wchar_t kDomDocumentClassId[] = L"{F6D90F11-9C73-11D3-B32E-00C04F990BB4}";
inline constexpr wchar_t kTaskSchedulerClassId[] = L"{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}";

// ---- MSXML DOM (DOMDocument through IXMLDOMDocument2) ----

class XmlNodeList;

class XmlNode {
  public:
    virtual ~XmlNode() = default;
    // selectNodes(query): the matches in document order, in the document's selection language.
    virtual ComStatus selectNodes(const std::wstring& query,
                                  std::unique_ptr<XmlNodeList>& nodes) = 0;
    // selectSingleNode(query): the first match in document order; S_FALSE and null when none.
    virtual ComStatus selectSingleNode(const std::wstring& query,
                                       std::unique_ptr<XmlNode>& node) = 0;
    // get_text: the node's text content.
    virtual ComStatus get_text(std::wstring& text) = 0;
};

class XmlNodeList {
  public:
    virtual ~XmlNodeList() = default;
    virtual ComStatus get_length(std::int32_t& length) = 0;
    // get_item(index), counting from 0; S_FALSE and null past the end.
    virtual ComStatus get_item(std::int32_t index, std::unique_ptr<XmlNode>& node) = 0;
};

class XmlDocument {
  public:
    virtual ~XmlDocument() = default;
    // loadXML(text): parses synchronously; `parsed` is the VARIANT_BOOL the call returns.
    virtual ComStatus loadXML(const std::wstring& xml, bool& parsed) = 0;
    // get_documentElement: the root element; S_FALSE and null when the document has none.
    virtual ComStatus get_documentElement(std::unique_ptr<XmlNode>& root) = 0;
};

// ---- Task Scheduler 2.0 ----

class RegisteredTask {
  public:
    virtual ~RegisteredTask() = default;
    // IRegisteredTask::get_Xml: the complete task definition.
    virtual ComStatus get_Xml(std::wstring& xml) = 0;
};

class RegisteredTaskCollection {
  public:
    virtual ~RegisteredTaskCollection() = default;
    virtual ComStatus get_Count(std::int32_t& count) = 0;
    // get_Item(VT_I4 index), counting from 1.
    virtual ComStatus get_Item(std::int32_t index, std::unique_ptr<RegisteredTask>& task) = 0;
};

class TaskFolder;

class TaskFolderCollection {
  public:
    virtual ~TaskFolderCollection() = default;
    virtual ComStatus get_Count(std::int32_t& count) = 0;
    // get_Item(VT_I4 index), counting from 1.
    virtual ComStatus get_Item(std::int32_t index, std::unique_ptr<TaskFolder>& folder) = 0;
};

class TaskFolder {
  public:
    virtual ~TaskFolder() = default;
    virtual ComStatus GetTasks(std::int32_t flags,
                               std::unique_ptr<RegisteredTaskCollection>& tasks) = 0;
    virtual ComStatus GetFolders(std::int32_t flags,
                                 std::unique_ptr<TaskFolderCollection>& folders) = 0;
};

class TaskService {
  public:
    virtual ~TaskService() = default;
    // Connect with four empty VARIANTs: the local machine, the caller's own identity.
    virtual ComStatus Connect() = 0;
    virtual ComStatus GetFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) = 0;
};

// ---- COM on the calling thread and object creation ----

class ComApi {
  public:
    virtual ~ComApi() = default;

    // CoInitialize(NULL): S_OK, S_FALSE when already initialised, negative on failure.
    virtual HResult CoInitialize() = 0;
    virtual void CoUninitialize() = 0;
    // CoCreateInstance(CLSID_TaskScheduler, no outer, CLSCTX_INPROC_SERVER, IID_ITaskService).
    virtual HResult CreateTaskService(std::unique_ptr<TaskService>& service) = 0;
    // CoCreateInstance(DOMDocument, no outer, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2), then
    // resolveExternals false and "ProhibitDTD" true: a text that declares a DTD does not load,
    // and nothing outside the text is fetched. The selection language stays the default. A
    // setting the system's MSXML refuses is passed over: the result is CoCreateInstance's.
    virtual HResult CreateXmlDocument(std::unique_ptr<XmlDocument>& document) = 0;
};

// The one place a failed COM call becomes EOleException: the object's description, else the
// system's text for the HRESULT, else "OLE error %.8x".
inline void OleCheck(SystemApi& system, const ComStatus& status) {
    if (status.Failed()) {
        throw EOleException(
            status.hr,
            OleErrorMessage(status.hr, status.description,
                            SystemErrorText(system, static_cast<std::uint32_t>(status.hr))));
    }
}

}  // namespace hf

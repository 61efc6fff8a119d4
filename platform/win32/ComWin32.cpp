#include "platform/win32/ComWin32.h"

#include "platform/win32/ComIds.h"
#include "platform/win32/ComPtr.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <taskschd.h>

namespace hf {
namespace {

// The portable constants must be the values the Windows headers give.
static_assert(kSOk == S_OK);
static_assert(kSFalse == S_FALSE);
static_assert(kENotImpl == E_NOTIMPL);
static_assert(kEFail == E_FAIL);
static_assert(kEAccessDenied == E_ACCESSDENIED);
static_assert(kEInvalidArg == E_INVALIDARG);
static_assert(kRpcEChangedMode == RPC_E_CHANGED_MODE);
static_assert(kRegDbEClassNotReg == REGDB_E_CLASSNOTREG);
static_assert(kTaskEnumHidden == TASK_ENUM_HIDDEN);

std::wstring ToWString(const UniqueBstr& text) {
    return text ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

// Runs one COM call and, when it fails, takes the error description the object left for this
// thread. The slot is cleared first so a description left by an earlier call is never reported.
template <typename Call>
ComStatus Invoke(Call&& call) {
    ::SetErrorInfo(0, nullptr);
    ComStatus status{static_cast<HResult>(call()), {}};
    if (status.Failed()) {
        ComPtr<IErrorInfo> info;
        if (::GetErrorInfo(0, info.Put()) == S_OK && info) {
            UniqueBstr description(BstrTraits{});
            BSTR raw = nullptr;
            if (SUCCEEDED(info->GetDescription(&raw))) {
                description.reset(raw);
                status.description = ToWString(description);
            }
        }
    }
    return status;
}

VARIANT IndexVariant(std::int32_t index) {
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = index;
    return value;
}

class Win32XmlNodeList;

class Win32XmlNode final : public XmlNode {
  public:
    explicit Win32XmlNode(ComPtr<IXMLDOMNode> node) : node_(std::move(node)) {}

    ComStatus selectNodes(const std::wstring& query, std::unique_ptr<XmlNodeList>& nodes) override;

    ComStatus selectSingleNode(const std::wstring& query, std::unique_ptr<XmlNode>& node) override {
        node.reset();
        UniqueBstr text = MakeBstr(query);
        ComPtr<IXMLDOMNode> found;
        ComStatus status = Invoke([&] { return node_->selectSingleNode(text.get(), found.Put()); });
        if (!status.Failed() && found) {
            node = std::make_unique<Win32XmlNode>(std::move(found));
        }
        return status;
    }

    ComStatus get_text(std::wstring& text) override {
        text.clear();
        BSTR raw = nullptr;
        ComStatus status = Invoke([&] { return node_->get_text(&raw); });
        UniqueBstr owned(BstrTraits{}, raw);
        if (!status.Failed()) {
            text = ToWString(owned);
        }
        return status;
    }

  private:
    ComPtr<IXMLDOMNode> node_;
};

class Win32XmlNodeList final : public XmlNodeList {
  public:
    explicit Win32XmlNodeList(ComPtr<IXMLDOMNodeList> list) : list_(std::move(list)) {}

    ComStatus get_length(std::int32_t& length) override {
        long value = 0;
        ComStatus status = Invoke([&] { return list_->get_length(&value); });
        length = static_cast<std::int32_t>(value);
        return status;
    }

    ComStatus get_item(std::int32_t index, std::unique_ptr<XmlNode>& node) override {
        node.reset();
        ComPtr<IXMLDOMNode> item;
        ComStatus status = Invoke([&] { return list_->get_item(index, item.Put()); });
        if (!status.Failed() && item) {
            node = std::make_unique<Win32XmlNode>(std::move(item));
        }
        return status;
    }

  private:
    ComPtr<IXMLDOMNodeList> list_;
};

ComStatus Win32XmlNode::selectNodes(const std::wstring& query,
                                    std::unique_ptr<XmlNodeList>& nodes) {
    nodes.reset();
    UniqueBstr text = MakeBstr(query);
    ComPtr<IXMLDOMNodeList> found;
    ComStatus status = Invoke([&] { return node_->selectNodes(text.get(), found.Put()); });
    if (!status.Failed() && found) {
        nodes = std::make_unique<Win32XmlNodeList>(std::move(found));
    }
    return status;
}

class Win32XmlDocument final : public XmlDocument {
  public:
    explicit Win32XmlDocument(ComPtr<IXMLDOMDocument2> document) : document_(std::move(document)) {}

    ComStatus loadXML(const std::wstring& xml, bool& parsed) override {
        UniqueBstr text = MakeBstr(xml);
        VARIANT_BOOL result = VARIANT_FALSE;
        ComStatus status = Invoke([&] { return document_->loadXML(text.get(), &result); });
        parsed = result != VARIANT_FALSE;
        return status;
    }

    ComStatus get_documentElement(std::unique_ptr<XmlNode>& root) override {
        root.reset();
        ComPtr<IXMLDOMElement> element;
        ComStatus status = Invoke([&] { return document_->get_documentElement(element.Put()); });
        if (!status.Failed() && element) {
            // IXMLDOMElement derives from IXMLDOMNode: the reference carries over.
            root = std::make_unique<Win32XmlNode>(ComPtr<IXMLDOMNode>(element.Detach()));
        }
        return status;
    }

  private:
    ComPtr<IXMLDOMDocument2> document_;
};

class Win32RegisteredTask final : public RegisteredTask {
  public:
    explicit Win32RegisteredTask(ComPtr<IRegisteredTask> task) : task_(std::move(task)) {}

    ComStatus get_Xml(std::wstring& xml) override {
        xml.clear();
        BSTR raw = nullptr;
        ComStatus status = Invoke([&] { return task_->get_Xml(&raw); });
        UniqueBstr owned(BstrTraits{}, raw);
        if (!status.Failed()) {
            xml = ToWString(owned);
        }
        return status;
    }

  private:
    ComPtr<IRegisteredTask> task_;
};

class Win32RegisteredTaskCollection final : public RegisteredTaskCollection {
  public:
    explicit Win32RegisteredTaskCollection(ComPtr<IRegisteredTaskCollection> tasks)
        : tasks_(std::move(tasks)) {}

    ComStatus get_Count(std::int32_t& count) override {
        LONG value = 0;
        ComStatus status = Invoke([&] { return tasks_->get_Count(&value); });
        count = static_cast<std::int32_t>(value);
        return status;
    }

    ComStatus get_Item(std::int32_t index, std::unique_ptr<RegisteredTask>& task) override {
        task.reset();
        ComPtr<IRegisteredTask> item;
        ComStatus status =
            Invoke([&] { return tasks_->get_Item(IndexVariant(index), item.Put()); });
        if (!status.Failed() && item) {
            task = std::make_unique<Win32RegisteredTask>(std::move(item));
        }
        return status;
    }

  private:
    ComPtr<IRegisteredTaskCollection> tasks_;
};

class Win32TaskFolder final : public TaskFolder {
  public:
    explicit Win32TaskFolder(ComPtr<ITaskFolder> folder) : folder_(std::move(folder)) {}

    ComStatus GetTasks(std::int32_t flags,
                       std::unique_ptr<RegisteredTaskCollection>& tasks) override;
    ComStatus GetFolders(std::int32_t flags,
                         std::unique_ptr<TaskFolderCollection>& folders) override;

  private:
    ComPtr<ITaskFolder> folder_;
};

class Win32TaskFolderCollection final : public TaskFolderCollection {
  public:
    explicit Win32TaskFolderCollection(ComPtr<ITaskFolderCollection> folders)
        : folders_(std::move(folders)) {}

    ComStatus get_Count(std::int32_t& count) override {
        LONG value = 0;
        ComStatus status = Invoke([&] { return folders_->get_Count(&value); });
        count = static_cast<std::int32_t>(value);
        return status;
    }

    ComStatus get_Item(std::int32_t index, std::unique_ptr<TaskFolder>& folder) override {
        folder.reset();
        ComPtr<ITaskFolder> item;
        ComStatus status =
            Invoke([&] { return folders_->get_Item(IndexVariant(index), item.Put()); });
        if (!status.Failed() && item) {
            folder = std::make_unique<Win32TaskFolder>(std::move(item));
        }
        return status;
    }

  private:
    ComPtr<ITaskFolderCollection> folders_;
};

ComStatus Win32TaskFolder::GetTasks(std::int32_t flags,
                                    std::unique_ptr<RegisteredTaskCollection>& tasks) {
    tasks.reset();
    ComPtr<IRegisteredTaskCollection> found;
    ComStatus status = Invoke([&] { return folder_->GetTasks(flags, found.Put()); });
    if (!status.Failed() && found) {
        tasks = std::make_unique<Win32RegisteredTaskCollection>(std::move(found));
    }
    return status;
}

ComStatus Win32TaskFolder::GetFolders(std::int32_t flags,
                                      std::unique_ptr<TaskFolderCollection>& folders) {
    folders.reset();
    ComPtr<ITaskFolderCollection> found;
    ComStatus status = Invoke([&] { return folder_->GetFolders(flags, found.Put()); });
    if (!status.Failed() && found) {
        folders = std::make_unique<Win32TaskFolderCollection>(std::move(found));
    }
    return status;
}

class Win32TaskService final : public TaskService {
  public:
    explicit Win32TaskService(ComPtr<ITaskService> service) : service_(std::move(service)) {}

    ComStatus Connect() override {
        VARIANT empty;
        ::VariantInit(&empty);  // VT_EMPTY
        return Invoke([&] { return service_->Connect(empty, empty, empty, empty); });
    }

    ComStatus GetFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) override {
        folder.reset();
        UniqueBstr text = MakeBstr(path);
        ComPtr<ITaskFolder> found;
        ComStatus status = Invoke([&] { return service_->GetFolder(text.get(), found.Put()); });
        if (!status.Failed() && found) {
            folder = std::make_unique<Win32TaskFolder>(std::move(found));
        }
        return status;
    }

  private:
    ComPtr<ITaskService> service_;
};

}  // namespace

HResult Win32ComApi::CoInitialize() {
    return ::CoInitialize(nullptr);
}

void Win32ComApi::CoUninitialize() {
    ::CoUninitialize();
}

HResult Win32ComApi::CreateTaskService(std::unique_ptr<TaskService>& service) {
    service.reset();
    ComPtr<ITaskService> created;
    const HRESULT hr = ::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                          kIidTaskService, reinterpret_cast<void**>(created.Put()));
    if (SUCCEEDED(hr) && created) {
        service = std::make_unique<Win32TaskService>(std::move(created));
    }
    return static_cast<HResult>(hr);
}

HResult Win32ComApi::CreateXmlDocument(std::unique_ptr<XmlDocument>& document) {
    document.reset();
    ComPtr<IXMLDOMDocument2> created;
    const HRESULT hr =
        ::CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                           reinterpret_cast<void**>(created.Put()));
    if (SUCCEEDED(hr) && created) {
        // Task definitions come from the scheduler, which stores only what it validated, and a
        // valid one has no DTD: refusing DTDs (entity expansion) and external resources (files
        // or shares fetched as the administrator) changes no real task. An older MSXML that
        // knows neither setting still reads the definitions, so a refusal is not an error.
        created->put_resolveExternals(VARIANT_FALSE);
        VARIANT prohibit;
        ::VariantInit(&prohibit);
        prohibit.vt = VT_BOOL;
        prohibit.boolVal = VARIANT_TRUE;
        const UniqueBstr name = MakeBstr(L"ProhibitDTD");
        created->setProperty(name.get(), prohibit);
        document = std::make_unique<Win32XmlDocument>(std::move(created));
    }
    return static_cast<HResult>(hr);
}

}  // namespace hf

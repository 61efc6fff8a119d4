#include "lab/scheduler/LabScheduler.h"

#include <oleauto.h>
#include <taskschd.h>

#include <atomic>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/ComPtr.h"
#include "lab/scheduler/TaskStore.h"

namespace hf::lab {
namespace {

// Nothing may escape across the COM boundary; allocation failure is the only expected one.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

std::wstring FromBstr(BSTR text) {
    return text == nullptr ? std::wstring() : std::wstring(text, ::SysStringLen(text));
}

HRESULT ReturnString(const std::wstring& text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

template <typename T>
HRESULT NotImplemented(T** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return E_NOTIMPL;
}

// Collections count from 1. VT_I4 is what callers pass; the other integer types are harmless.
HRESULT ItemIndex(const VARIANT& index, size_t count, size_t& out) {
    LONGLONG value = 0;
    switch (V_VT(&index)) {
        case VT_I4:
            value = V_I4(&index);
            break;
        case VT_I2:
            value = V_I2(&index);
            break;
        case VT_UI4:
            value = V_UI4(&index);
            break;
        default:
            return E_INVALIDARG;
    }
    if (value < 1 || value > static_cast<LONGLONG>(count)) {
        return E_INVALIDARG;
    }
    out = static_cast<size_t>(value - 1);
    return S_OK;
}

// An argument of Connect that means "the local machine" or "the caller's own identity".
bool IsDefaultArgument(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_ERROR:
            return V_ERROR(&value) == DISP_E_PARAMNOTFOUND;
        case VT_BSTR:
            return ::SysStringLen(V_BSTR(&value)) == 0;
        default:
            return false;
    }
}

// Sets the thread's error object, so a caller that asks ISupportErrorInfo reads `description`.
void ReportError(const std::wstring& description) {
    if (description.empty()) {
        ::SetErrorInfo(0, nullptr);
        return;
    }
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(::CreateErrorInfo(create.Put()))) {
        ::SetErrorInfo(0, nullptr);
        return;
    }
    create->SetGUID(__uuidof(ITaskFolder));
    create->SetSource(const_cast<LPOLESTR>(L"Lab Task Scheduler"));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    ::SetErrorInfo(0, SUCCEEDED(create.As(info)) ? info.Get() : nullptr);
}

// IUnknown with a thread-safe count (the class is registered "Both") and the minimal IDispatch
// of these dual interfaces: callers here use the vtable, not late binding.
template <typename Interface>
class DispatchObject : public Interface {
  public:
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
        } else {
            *out = QueryOther(riid);
        }
        if (*out == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        return NotImplemented(info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

  protected:
    DispatchObject() noexcept { LockModule(); }
    virtual ~DispatchObject() { UnlockModule(); }
    // Further interfaces of the object, without AddRef; nullptr when there is none.
    virtual void* QueryOther(REFIID) { return nullptr; }

  private:
    std::atomic<ULONG> references_{1};
};

class RegisteredTask final : public DispatchObject<IRegisteredTask> {
  public:
    explicit RegisteredTask(StoredTask task) : task_(std::move(task)) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        return Guard([&] { return ReturnString(task_.name, name); });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
        return Guard([&] { return ReturnString(task_.path, path); });
    }
    // The stored definition as it is on disk, unlike Wine's scheduler, which rewrites it.
    HRESULT STDMETHODCALLTYPE get_Xml(BSTR* xml) override {
        return Guard([&] { return ReturnString(task_.xml, xml); });
    }

    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(VARIANT, IRunningTask** task) override {
        return NotImplemented(task);
    }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT, LONG, LONG, BSTR, IRunningTask** task) override {
        return NotImplemented(task);
    }
    HRESULT STDMETHODCALLTYPE GetInstances(LONG, IRunningTaskCollection** tasks) override {
        return NotImplemented(tasks);
    }
    HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** definition) override {
        return NotImplemented(definition);
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR* sddl) override {
        return NotImplemented(sddl);
    }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*,
                                          LPSYSTEMTIME*) override {
        return E_NOTIMPL;
    }

  private:
    const StoredTask task_;
};

class RegisteredTaskCollection final : public DispatchObject<IRegisteredTaskCollection> {
  public:
    explicit RegisteredTaskCollection(std::vector<StoredTask> tasks) : tasks_(std::move(tasks)) {}

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(tasks_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRegisteredTask** task) override {
        return Guard([&] {
            if (task == nullptr) {
                return E_POINTER;
            }
            *task = nullptr;
            size_t at = 0;
            if (HRESULT hr = ItemIndex(index, tasks_.size(), at); FAILED(hr)) {
                return hr;
            }
            *task = new RegisteredTask(tasks_[at]);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) override {
        return NotImplemented(enumerator);
    }

  private:
    const std::vector<StoredTask> tasks_;
};

class TaskFolder;

class TaskFolderCollection final : public DispatchObject<ITaskFolderCollection> {
  public:
    explicit TaskFolderCollection(std::vector<StoreFolder> folders)
        : folders_(std::move(folders)) {}

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(folders_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, ITaskFolder** folder) override;
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) override {
        return NotImplemented(enumerator);
    }

  private:
    const std::vector<StoreFolder> folders_;
};

// The folder also answers ISupportErrorInfo: a refused listing carries a description.
class TaskFolder final : public DispatchObject<ITaskFolder>, public ISupportErrorInfo {
  public:
    explicit TaskFolder(StoreFolder folder) : folder_(std::move(folder)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return DispatchObject::QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DispatchObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DispatchObject::Release(); }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == __uuidof(ITaskFolder) ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] { return ReturnString(folder_.name, name); });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] { return ReturnString(folder_.path, path); });
    }
    // Paths are taken relative to this folder; leading backslashes are ignored.
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** folder) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] {
            if (folder == nullptr) {
                return E_POINTER;
            }
            *folder = nullptr;
            StoreFolder found;
            if (HRESULT hr = ResolveFolder(folder_, FromBstr(path), found); FAILED(hr)) {
                return hr;
            }
            *folder = new TaskFolder(std::move(found));
            return S_OK;
        });
    }
    // Flags are reserved for folders; callers pass 0 or 1 and both list every subfolder.
    HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection** folders) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] {
            if (folders == nullptr) {
                return E_POINTER;
            }
            *folders = nullptr;
            if (HRESULT hr = Refused(); FAILED(hr)) {
                return hr;
            }
            std::vector<StoreFolder> found;
            if (HRESULT hr = ListSubfolders(folder_, found); FAILED(hr)) {
                return hr;
            }
            *folders = new TaskFolderCollection(std::move(found));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** tasks) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] {
            if (tasks == nullptr) {
                return E_POINTER;
            }
            *tasks = nullptr;
            if (HRESULT hr = Refused(); FAILED(hr)) {
                return hr;
            }
            std::vector<StoredTask> found;
            if (HRESULT hr = ListTasks(folder_, found); FAILED(hr)) {
                return hr;
            }
            if ((flags & TASK_ENUM_HIDDEN) == 0) {
                std::erase_if(found, [](const StoredTask& task) { return task.hidden; });
            }
            *tasks = new RegisteredTaskCollection(std::move(found));
            return S_OK;
        });
    }
    // "name" or "sub\folder\name" below this folder; hidden tasks are found too.
    HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** task) override {
        ::SetErrorInfo(0, nullptr);
        return Guard([&] {
            if (task == nullptr) {
                return E_POINTER;
            }
            *task = nullptr;
            const std::wstring text = FromBstr(path);
            const size_t split = text.rfind(L'\\');
            StoreFolder parent;
            const std::wstring folderPart =
                split == std::wstring::npos ? L"" : text.substr(0, split);
            if (HRESULT hr = ResolveFolder(folder_, folderPart, parent); FAILED(hr)) {
                return hr;
            }
            StoredTask found;
            const std::wstring name = split == std::wstring::npos ? text : text.substr(split + 1);
            if (HRESULT hr = ReadTask(parent, name, found); FAILED(hr)) {
                return hr;
            }
            *task = new RegisteredTask(std::move(found));
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR, VARIANT, ITaskFolder** folder) override {
        return NotImplemented(folder);
    }
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTask(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterTask(BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                           VARIANT, IRegisteredTask** task) override {
        return NotImplemented(task);
    }
    HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT,
                                                     TASK_LOGON_TYPE, VARIANT,
                                                     IRegisteredTask** task) override {
        return NotImplemented(task);
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR* sddl) override {
        return NotImplemented(sddl);
    }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }

  protected:
    void* QueryOther(REFIID riid) override {
        return riid == __uuidof(ISupportErrorInfo) ? static_cast<ISupportErrorInfo*>(this)
                                                   : nullptr;
    }

  private:
    // The marker's result, with its description set as the thread's error object; S_OK when
    // the folder may be listed.
    HRESULT Refused() const {
        Refusal refusal;
        if (!FindRefusal(folder_, refusal)) {
            return S_OK;
        }
        ReportError(refusal.description);
        return refusal.result;
    }

    const StoreFolder folder_;
};

HRESULT TaskFolderCollection::get_Item(VARIANT index, ITaskFolder** folder) {
    return Guard([&] {
        if (folder == nullptr) {
            return E_POINTER;
        }
        *folder = nullptr;
        size_t at = 0;
        if (HRESULT hr = ItemIndex(index, folders_.size(), at); FAILED(hr)) {
            return hr;
        }
        *folder = new TaskFolder(folders_[at]);
        return S_OK;
    });
}

class TaskService final : public DispatchObject<ITaskService> {
  public:
    // The store's place is fixed for the process, so it is found once; Connect reports a
    // failure to find it.
    TaskService() { rootResult_ = OpenRootFolder(root_); }

    // Only the local machine as the caller: every argument empty (or an empty string).
    HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain,
                                      VARIANT password) override {
        if (!IsDefaultArgument(server) || !IsDefaultArgument(user) || !IsDefaultArgument(domain) ||
            !IsDefaultArgument(password)) {
            return E_NOTIMPL;
        }
        if (FAILED(rootResult_)) {
            return rootResult_;
        }
        connected_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* connected) override {
        if (connected == nullptr) {
            return E_POINTER;
        }
        *connected = connected_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    // "\" is the root; "\A\B" (or "A\B") a folder below it.
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** folder) override {
        return Guard([&] {
            if (folder == nullptr) {
                return E_POINTER;
            }
            *folder = nullptr;
            if (!connected_) {
                return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
            }
            StoreFolder found;
            if (HRESULT hr = ResolveFolder(root_, FromBstr(path), found); FAILED(hr)) {
                return hr;
            }
            *folder = new TaskFolder(std::move(found));
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG, IRunningTaskCollection** tasks) override {
        return NotImplemented(tasks);
    }
    HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition** definition) override {
        return NotImplemented(definition);
    }
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR* server) override {
        return NotImplemented(server);
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR* user) override {
        return NotImplemented(user);
    }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR* domain) override {
        return NotImplemented(domain);
    }
    HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD*) override { return E_NOTIMPL; }

  private:
    StoreFolder root_;
    HRESULT rootResult_ = E_UNEXPECTED;
    std::atomic<bool> connected_{false};
};

}  // namespace

HRESULT CreateTaskService(REFIID riid, void** out) noexcept {
    return Guard([&] {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        ComPtr<ITaskService> service(new TaskService());
        return service->QueryInterface(riid, out);
    });
}

}  // namespace hf::lab

// The DLL's COM server side: the class object, unloading, and registration in place of the
// system's own Task Scheduler class.

#include <windows.h>
#include <olectl.h>
#include <taskschd.h>

#include <atomic>
#include <new>
#include <string>

#include "lab/scheduler/LabScheduler.h"
#include "lab/scheduler/Registration.h"
#include "platform/win32/ComPtr.h"
#include "platform/win32/Win32Handles.h"

namespace hf::lab {
namespace {

// The one process-wide count a COM server cannot do without: DllCanUnloadNow must know
// whether any of its objects or server locks are still alive.
std::atomic<long> g_moduleLocks{0};

// What DllRegisterServer replaced, so DllUnregisterServer can put it back.
constexpr wchar_t kSavedServer[] = L"HfLabPreviousServer";
constexpr wchar_t kSavedThreadingModel[] = L"HfLabPreviousThreadingModel";
constexpr wchar_t kThreadingModel[] = L"ThreadingModel";

class ClassFactory final : public IClassFactory {
  public:
    ClassFactory() noexcept { LockModule(); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return CreateTaskService(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

  private:
    ~ClassFactory() { UnlockModule(); }

    std::atomic<ULONG> references_{1};
};

HRESULT FromStatus(LONG status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

// Full path of this DLL.
HRESULT OwnPath(std::wstring& out) {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            kServerKey, &self)) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return HRESULT_FROM_WIN32(::GetLastError());
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            out = std::move(buffer);
            return S_OK;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool QueryString(HKEY key, const wchar_t* name, std::wstring& out) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                           &bytes) != ERROR_SUCCESS) {
        return false;
    }
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    out = std::move(value);
    return true;
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

HRESULT Register() {
    std::wstring self;
    if (HRESULT hr = OwnPath(self); FAILED(hr)) {
        return hr;
    }
    HKEY raw = nullptr;
    if (HRESULT hr = FromStatus(
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &raw, nullptr));
        FAILED(hr)) {
        return hr;
    }
    UniqueNativeKey key(NativeKeyTraits{}, raw);
    std::wstring current;
    std::wstring saved;
    // Keep the first server replaced (the system's), however often the lab registers itself.
    if (QueryString(key.get(), nullptr, current) && !SamePath(current, self) &&
        !QueryString(key.get(), kSavedServer, saved)) {
        std::wstring model;
        if (QueryString(key.get(), kThreadingModel, model)) {
            if (HRESULT hr = FromStatus(SetString(key.get(), kSavedThreadingModel, model));
                FAILED(hr)) {
                return hr;
            }
        }
        if (HRESULT hr = FromStatus(SetString(key.get(), kSavedServer, current)); FAILED(hr)) {
            return hr;
        }
    }
    if (HRESULT hr = FromStatus(SetString(key.get(), nullptr, self)); FAILED(hr)) {
        return hr;
    }
    return FromStatus(SetString(key.get(), kThreadingModel, L"Both"));
}

HRESULT Unregister() {
    std::wstring self;
    if (HRESULT hr = OwnPath(self); FAILED(hr)) {
        return hr;
    }
    HKEY raw = nullptr;
    const LONG opened =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &raw);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return S_FALSE;  // nothing registered at all
    }
    if (HRESULT hr = FromStatus(opened); FAILED(hr)) {
        return hr;
    }
    UniqueNativeKey key(NativeKeyTraits{}, raw);
    std::wstring current;
    if (!QueryString(key.get(), nullptr, current) || !SamePath(current, self)) {
        return S_FALSE;  // another server is registered: not ours to remove
    }
    std::wstring saved;
    if (!QueryString(key.get(), kSavedServer, saved)) {
        key.reset();
        return FromStatus(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kServerKey));
    }
    if (HRESULT hr = FromStatus(SetString(key.get(), nullptr, saved)); FAILED(hr)) {
        return hr;
    }
    std::wstring model;
    if (QueryString(key.get(), kSavedThreadingModel, model)) {
        if (HRESULT hr = FromStatus(SetString(key.get(), kThreadingModel, model)); FAILED(hr)) {
            return hr;
        }
    } else {
        ::RegDeleteValueW(key.get(), kThreadingModel);
    }
    ::RegDeleteValueW(key.get(), kSavedThreadingModel);
    return FromStatus(::RegDeleteValueW(key.get(), kSavedServer));
}

}  // namespace

void LockModule() noexcept {
    ++g_moduleLocks;
}
void UnlockModule() noexcept {
    --g_moduleLocks;
}
long ModuleLocks() noexcept {
    return g_moduleLocks.load();
}

}  // namespace hf::lab

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (clsid != __uuidof(TaskScheduler)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    // The new object's one reference, released once QueryInterface has taken the caller's.
    const hf::ComPtr<hf::lab::ClassFactory> factory(new (std::nothrow) hf::lab::ClassFactory());
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    return factory->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
    return hf::lab::ModuleLocks() == 0 ? S_OK : S_FALSE;
}

// Points the Task Scheduler class at this DLL (ThreadingModel "Both"), remembering the server
// it replaces.
STDAPI DllRegisterServer() {
    try {
        return hf::lab::Register();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

// Puts back the server that DllRegisterServer replaced; S_FALSE when this DLL is not the one
// registered.
STDAPI DllUnregisterServer() {
    try {
        return hf::lab::Unregister();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

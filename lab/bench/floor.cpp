// labfloor: the least any program doing hfremove's job must do on this machine, phase by
// phase, timed. It is the benchmark's yardstick, never shipped:
//   tasks     the Task Scheduler walk: CoCreateInstance of the scheduler, every folder's
//             GetTasks(TASK_ENUM_HIDDEN) and GetFolders, each task's Xml loaded once into an
//             MSXML DOMDocument (one document, reused)
//   drivers   the *.sys files of <Windows>\Sysnative\drivers, one OriginalFileName query each
//             (GetFileVersionInfoSizeW, GetFileVersionInfoW, VerQueryValueW)
//   services  every subkey of HKLM\SYSTEM\CurrentControlSet\Services opened and its ImagePath
//             read
// Output, one "key=value" line each: the counts, then <phase>_ms and total_ms (milliseconds,
// three decimals). Exit code 0, 1 when a phase failed (the line "error=..." says which).

#include <windows.h>
#include <msxml2.h>
#include <taskschd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lab/plant/LabWin32.h"
#include "platform/win32/ComIds.h"
#include "platform/win32/ComPtr.h"

namespace hf::lab {
namespace {

constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services";

class Stopwatch {
  public:
    Stopwatch() {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
    }
    double Ms() const {
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::wstring Ms(double ms) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", ms);
    return text;
}

VARIANT Index(LONG i) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}

struct Counts {
    long tasks = 0;
    long folders = 0;
    long drivers = 0;
    long driverMatches = 0;
    long services = 0;
    long imagePaths = 0;
};

class SchedulerWalk {
  public:
    SchedulerWalk(Counts& counts, IXMLDOMDocument* document)
        : counts_(counts), document_(document) {}

    HRESULT Folder(ITaskFolder* folder) {
        ++counts_.folders;
        ComPtr<IRegisteredTaskCollection> tasks;
        HRESULT hr = folder->GetTasks(TASK_ENUM_HIDDEN, tasks.Put());
        if (FAILED(hr)) {
            return hr;
        }
        LONG count = 0;
        if (FAILED(hr = tasks->get_Count(&count))) {
            return hr;
        }
        for (LONG i = 1; i <= count; ++i) {
            ComPtr<IRegisteredTask> task;
            if (FAILED(hr = tasks->get_Item(Index(i), task.Put()))) {
                return hr;
            }
            BSTR raw = nullptr;
            if (FAILED(hr = task->get_Xml(&raw))) {
                return hr;
            }
            UniqueBstr xml(BstrTraits{}, raw);
            VARIANT_BOOL parsed = VARIANT_FALSE;
            if (FAILED(hr = document_->loadXML(xml.get(), &parsed))) {
                return hr;
            }
            ++counts_.tasks;
        }
        ComPtr<ITaskFolderCollection> folders;
        if (FAILED(hr = folder->GetFolders(TASK_ENUM_HIDDEN, folders.Put()))) {
            return hr;
        }
        if (FAILED(hr = folders->get_Count(&count))) {
            return hr;
        }
        for (LONG i = 1; i <= count; ++i) {
            ComPtr<ITaskFolder> child;
            if (FAILED(hr = folders->get_Item(Index(i), child.Put())) ||
                FAILED(hr = Folder(child.Get()))) {
                return hr;
            }
        }
        return S_OK;
    }

  private:
    Counts& counts_;
    IXMLDOMDocument* document_;
};

HRESULT WalkScheduler(Counts& counts) {
    ComPtr<ITaskService> service;
    HRESULT hr =
        ::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                           __uuidof(ITaskService), reinterpret_cast<void**>(service.Put()));
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT empty;
    ::VariantInit(&empty);
    if (FAILED(hr = service->Connect(empty, empty, empty, empty))) {
        return hr;
    }
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(hr = ::CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER,
                                       kIidXmlDomDocument2,
                                       reinterpret_cast<void**>(document.Put())))) {
        return hr;
    }
    UniqueBstr rootPath = MakeBstr(L"\\");
    ComPtr<ITaskFolder> root;
    if (FAILED(hr = service->GetFolder(rootPath.get(), root.Put()))) {
        return hr;
    }
    return SchedulerWalk(counts, document.Get()).Folder(root.Get());
}

// The OriginalFileName of the file's first translation; empty when it has none.
std::wstring OriginalFileName(const std::wstring& path, std::vector<BYTE>& block) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    block.resize(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return {};
    }
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        length < 4) {
        return {};
    }
    const auto* words = static_cast<const WORD*>(value);
    wchar_t sub[64];
    std::swprintf(sub, 64, L"\\StringFileInfo\\%04X%04X\\OriginalFileName", words[0], words[1]);
    if (!::VerQueryValueW(block.data(), sub, &value, &length) || length == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

HRESULT ListDrivers(Counts& counts) {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    const std::wstring folder = std::wstring(windows, length) + L"\\Sysnative\\drivers\\";
    WIN32_FIND_DATAW entry{};
    FindHandle search(FindHandleTraits{}, ::FindFirstFileW((folder + L"*.sys").c_str(), &entry));
    if (!search) {
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    std::vector<BYTE> block;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        ++counts.drivers;
        if (::lstrcmpW(OriginalFileName(folder + entry.cFileName, block).c_str(),
                       L"hfFilter.sys") == 0) {
            ++counts.driverMatches;
        }
    } while (::FindNextFileW(search.get(), &entry));
    return S_OK;
}

HRESULT ReadServices(Counts& counts) {
    HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, &opened);
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    RegKey services(RegKeyTraits{}, opened);
    DWORD subKeys = 0;
    DWORD longest = 0;
    status = ::RegQueryInfoKeyW(services.get(), nullptr, nullptr, nullptr, &subKeys, &longest,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    std::wstring name(longest + 1, L'\0');
    std::vector<BYTE> data(2048);
    for (DWORD i = 0; i < subKeys; ++i) {
        DWORD nameLength = longest + 1;
        if (::RegEnumKeyExW(services.get(), i, name.data(), &nameLength, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS) {
            continue;
        }
        HKEY raw = nullptr;
        if (::RegOpenKeyExW(services.get(), name.c_str(), 0, KEY_QUERY_VALUE, &raw) !=
            ERROR_SUCCESS) {
            continue;
        }
        RegKey service(RegKeyTraits{}, raw);
        ++counts.services;
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        if (::RegQueryValueExW(service.get(), L"ImagePath", nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS) {
            ++counts.imagePaths;
        }
    }
    return S_OK;
}

int Run() {
    Counts counts;
    bool failed = false;
    const auto phase = [&failed](const wchar_t* name, HRESULT hr, double ms) {
        if (FAILED(hr)) {
            PrintLine(std::wstring(L"error=") + name + L" " + Hex(hr) + L" " +
                      ErrorText(static_cast<DWORD>(hr)));
            failed = true;
        }
        PrintLine(std::wstring(name) + L"_ms=" + Ms(ms));
        return ms;
    };
    double total = 0;
    {
        Stopwatch watch;
        HRESULT hr = ::CoInitialize(nullptr);
        if (SUCCEEDED(hr)) {
            hr = WalkScheduler(counts);
            ::CoUninitialize();
        }
        total += phase(L"tasks", hr, watch.Ms());
    }
    {
        Stopwatch watch;
        const HRESULT hr = ListDrivers(counts);
        total += phase(L"drivers", hr, watch.Ms());
    }
    {
        Stopwatch watch;
        const HRESULT hr = ReadServices(counts);
        total += phase(L"services", hr, watch.Ms());
    }
    PrintLine(L"total_ms=" + Ms(total));
    PrintLine(L"task_count=" + std::to_wstring(counts.tasks));
    PrintLine(L"folder_count=" + std::to_wstring(counts.folders - 1));  // the root not counted
    PrintLine(L"driver_count=" + std::to_wstring(counts.drivers));
    PrintLine(L"driver_matches=" + std::to_wstring(counts.driverMatches));
    PrintLine(L"service_count=" + std::to_wstring(counts.services));
    PrintLine(L"image_paths=" + std::to_wstring(counts.imagePaths));
    return failed ? 1 : 0;
}

}  // namespace
}  // namespace hf::lab

int wmain() {
    return hf::lab::Run();
}

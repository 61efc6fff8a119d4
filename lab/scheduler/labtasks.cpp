// labtasks: lists every task the registered Task Scheduler class shows, folder by folder,
// with its hidden flag and the start of its definition. For the lab's demo and debugging.
// Output: one line per task, "<hidden|visible> <path> <first 60 characters of the XML>", and
// one line per folder that could not be listed. Exit code 0, 1 when a folder failed, 2 when
// the scheduler could not be reached.

#include <windows.h>
#include <taskschd.h>

#include <cstdio>
#include <set>
#include <string>

#include "platform/win32/ComPtr.h"

namespace hf::lab {
namespace {

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int inLength = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), inLength, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), inLength, bytes.data(), length, nullptr,
                          nullptr);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Hex(HRESULT hr) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring Text(const UniqueBstr& text) {
    return text ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

// "0x80070005" plus the object's error description, when it gives one.
std::wstring Describe(HRESULT hr, IUnknown* object, REFIID iid) {
    std::wstring message = Hex(hr);
    ComPtr<ISupportErrorInfo> support;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(object->QueryInterface(__uuidof(ISupportErrorInfo),
                                         reinterpret_cast<void**>(support.Put()))) &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK && ::GetErrorInfo(0, info.Put()) == S_OK &&
        info) {
        BSTR raw = nullptr;
        if (SUCCEEDED(info->GetDescription(&raw))) {
            message += L" " + Text(UniqueBstr(BstrTraits{}, raw));
        }
    }
    return message;
}

std::wstring Preview(const std::wstring& xml) {
    std::wstring head = xml.substr(0, 60);
    for (wchar_t& c : head) {
        if (c == L'\r' || c == L'\n' || c == L'\t') {
            c = L' ';
        }
    }
    return head;
}

HRESULT ListTasks(ITaskFolder* folder, LONG flags, ComPtr<IRegisteredTaskCollection>& out) {
    return folder->GetTasks(flags, out.Put());
}

// The collection's Count, or 0 with an error line (Wine's own scheduler fails here).
template <typename Collection>
LONG CountOf(Collection* collection, const std::wstring& what, int& failures) {
    LONG count = 0;
    if (HRESULT hr = collection->get_Count(&count); FAILED(hr)) {
        Print(L"error   " + what + L" Count: " + Hex(hr));
        ++failures;
        return 0;
    }
    return count;
}

// Lists the folder's tasks, then walks its subfolders; returns the number of failures.
int Walk(ITaskFolder* folder) {
    BSTR rawPath = nullptr;
    folder->get_Path(&rawPath);
    const std::wstring path = Text(UniqueBstr(BstrTraits{}, rawPath));
    int failures = 0;

    ComPtr<IRegisteredTaskCollection> all;
    ComPtr<IRegisteredTaskCollection> visible;
    HRESULT hr = ListTasks(folder, TASK_ENUM_HIDDEN, all);
    if (SUCCEEDED(hr)) {
        hr = ListTasks(folder, 0, visible);
    }
    if (FAILED(hr)) {
        Print(L"error   " + path + L" tasks: " + Describe(hr, folder, __uuidof(ITaskFolder)));
        ++failures;
    } else {
        // A task is hidden when only the listing that includes hidden tasks shows it.
        std::set<std::wstring> visibleNames;
        LONG count = CountOf(visible.Get(), path + L" tasks", failures);
        for (LONG i = 1; i <= count; ++i) {
            VARIANT index{};
            V_VT(&index) = VT_I4;
            V_I4(&index) = i;
            ComPtr<IRegisteredTask> task;
            BSTR name = nullptr;
            if (SUCCEEDED(visible->get_Item(index, task.Put())) &&
                SUCCEEDED(task->get_Path(&name))) {
                visibleNames.insert(Text(UniqueBstr(BstrTraits{}, name)));
            }
        }
        count = CountOf(all.Get(), path + L" hidden tasks", failures);
        for (LONG i = 1; i <= count; ++i) {
            VARIANT index{};
            V_VT(&index) = VT_I4;
            V_I4(&index) = i;
            ComPtr<IRegisteredTask> task;
            if (HRESULT item = all->get_Item(index, task.Put()); FAILED(item)) {
                Print(L"error   " + path + L" task " + std::to_wstring(i) + L": " + Hex(item));
                ++failures;
                continue;
            }
            BSTR rawTaskPath = nullptr;
            BSTR rawXml = nullptr;
            task->get_Path(&rawTaskPath);
            const HRESULT xmlResult = task->get_Xml(&rawXml);
            const std::wstring taskPath = Text(UniqueBstr(BstrTraits{}, rawTaskPath));
            const std::wstring xml = Text(UniqueBstr(BstrTraits{}, rawXml));
            const bool hidden = visibleNames.count(taskPath) == 0;
            Print(std::wstring(hidden ? L"hidden  " : L"visible ") + taskPath + L" " +
                  (SUCCEEDED(xmlResult) ? Preview(xml) : L"(Xml: " + Hex(xmlResult) + L")"));
        }
    }

    ComPtr<ITaskFolderCollection> folders;
    hr = folder->GetFolders(TASK_ENUM_HIDDEN, folders.Put());
    if (FAILED(hr)) {
        Print(L"error   " + path + L" folders: " + Describe(hr, folder, __uuidof(ITaskFolder)));
        return failures + 1;
    }
    const LONG count = CountOf(folders.Get(), path + L" folders", failures);
    for (LONG j = 1; j <= count; ++j) {
        VARIANT index{};
        V_VT(&index) = VT_I4;
        V_I4(&index) = j;
        ComPtr<ITaskFolder> child;
        if (HRESULT item = folders->get_Item(index, child.Put()); FAILED(item)) {
            Print(L"error   " + path + L" folder " + std::to_wstring(j) + L": " + Hex(item));
            ++failures;
            continue;
        }
        failures += Walk(child.Get());
    }
    return failures;
}

int Run() {
    ComPtr<ITaskService> service;
    HRESULT hr =
        ::CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                           __uuidof(ITaskService), reinterpret_cast<void**>(service.Put()));
    if (FAILED(hr)) {
        Print(L"error   CoCreateInstance: " + Hex(hr));
        return 2;
    }
    VARIANT empty{};
    if (hr = service->Connect(empty, empty, empty, empty); FAILED(hr)) {
        Print(L"error   Connect: " + Hex(hr));
        return 2;
    }
    ComPtr<ITaskFolder> root;
    UniqueBstr rootPath = MakeBstr(L"\\");
    if (hr = service->GetFolder(rootPath.get(), root.Put()); FAILED(hr)) {
        Print(L"error   GetFolder(\\): " + Hex(hr));
        return 2;
    }
    return Walk(root.Get()) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace hf::lab

int wmain() {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(init)) {
        std::fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", static_cast<unsigned long>(init));
        return 2;
    }
    const int result = hf::lab::Run();  // every COM object is released inside
    ::CoUninitialize();
    return result;
}

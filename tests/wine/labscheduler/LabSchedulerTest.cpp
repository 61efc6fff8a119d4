// The lab's Task Scheduler (labtaskschd.dll) under Wine: registered in place of Wine's own
// class, reached through CoCreateInstance exactly as the task sweep reaches a scheduler, over
// task files planted under <system folder>\Tasks of the throwaway prefix.

#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/ComPtr.h"
#include "lab/scheduler/Registration.h"
#include "platform/win32/Win32Handles.h"
#include "tests/wine/common/WineTestSupport.h"

namespace hf::lab {
namespace {

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring Take(BSTR raw) {
    UniqueBstr owned(BstrTraits{}, raw);
    return owned ? std::wstring(owned.get(), ::SysStringLen(owned.get())) : std::wstring();
}

VARIANT Index(VARTYPE type, LONG value) {
    VARIANT index{};
    V_VT(&index) = type;
    switch (type) {
        case VT_I2:
            V_I2(&index) = static_cast<SHORT>(value);
            break;
        case VT_UI4:
            V_UI4(&index) = static_cast<ULONG>(value);
            break;
        default:
            V_I4(&index) = value;
            break;
    }
    return index;
}

// ---- The sandbox: task files and the DLL ----------------------------------------------------

// Where the store lives, as the DLL finds it: the native system folder's Tasks. A 64-bit
// process reaches it as System32; a 32-bit one under WoW64 through Sysnative, its own System32
// being SysWOW64, another folder.
std::wstring TasksRoot() {
    wchar_t buffer[MAX_PATH + 1]{};
    BOOL wow64 = FALSE;
    if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
        const UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH);
        return std::wstring(buffer, length) + L"\\Sysnative\\Tasks";
    }
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return std::wstring(buffer, length) + L"\\Tasks";
}

std::wstring DllPath() {
    return wine::ExeDir() + L"labtaskschd.dll";
}

enum class Encoding { Utf16Bom, Utf8, Utf8Bom };

std::string Encode(const std::wstring& text, Encoding encoding) {
    if (encoding == Encoding::Utf16Bom) {
        return wine::Utf16FileBytes(text);
    }
    return (encoding == Encoding::Utf8Bom ? std::string("\xEF\xBB\xBF") : std::string()) +
           Utf16ToUtf8(text);
}

// A new file (any old one removed first: the prefix's files are hard links to its template),
// below the store root unless `root` names another folder.
bool WriteNewFile(const std::wstring& relative, const std::string& bytes,
                  const std::wstring& root = TasksRoot()) {
    const std::wstring file = root + L"\\" + relative;
    wine::CreateDirectories(file.substr(0, file.rfind(L'\\')));
    ::DeleteFileW(file.c_str());
    UniqueFile handle(FileTraits{}, ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return handle &&
           ::WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

std::wstring Definition(const std::wstring& settings, const std::wstring& description = L"lab",
                        const std::wstring& beforeSettings = L"") {
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           L"<Task version=\"1.2\" "
           L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           L"  <RegistrationInfo>\r\n    <Description>" +
           description + L"</Description>\r\n  </RegistrationInfo>\r\n" + beforeSettings +
           L"  <Settings>" + settings +
           L"</Settings>\r\n"
           L"  <Actions Context=\"Author\">\r\n    <Exec>\r\n"
           L"      <Command>%windir%\\system32\\rundll32.exe</Command>\r\n"
           L"      <Arguments>C:\\lab\\x.dll,Entry</Arguments>\r\n    </Exec>\r\n"
           L"  </Actions>\r\n</Task>\r\n";
}

struct PlantedTask {
    std::wstring file;  // below the store root; the task's path is "\" + file
    Encoding encoding;
    std::wstring xml;
    bool hidden;
};

const std::vector<PlantedTask>& PlantedTasks() {
    static const std::vector<PlantedTask> tasks = {
        {L"Root visible", Encoding::Utf16Bom, Definition(L"<Enabled>true</Enabled>"), false},
        {L"A\\a-sub\\inside", Encoding::Utf8, Definition(L""), false},
        // Three levels down, hidden, in the encodings Windows and hand-made files use.
        {L"A\\B\\C\\HiddenDeep", Encoding::Utf16Bom,
         Definition(L"\r\n    <Hidden>true</Hidden>\r\n  "), true},
        {L"A\\B\\C\\apple utf8", Encoding::Utf8,
         Definition(L"<Hidden>false</Hidden>", L"\uD55C\uAE00 \u00E9t\u00E9 \U0001F600 & more"),
         false},
        {L"A\\B\\C\\Banana bom", Encoding::Utf8Bom, Definition(L"<Priority>7</Priority>"), false},
        {L"A\\B\\C\\mango", Encoding::Utf16Bom, Definition(L"<Hidden>false</Hidden>"), false},
        // How Settings/Hidden is read: "h" names are hidden, "v" names are not.
        {L"Hiding\\h1 true", Encoding::Utf16Bom, Definition(L"<Hidden>true</Hidden>"), true},
        {L"Hiding\\h2 one padded", Encoding::Utf8, Definition(L"\r\n <Hidden> 1 </Hidden>\r\n"),
         true},
        {L"Hiding\\h3 among others", Encoding::Utf16Bom,
         Definition(L"<Enabled>true</Enabled><Hidden>true</Hidden><Priority>7</Priority>"), true},
        {L"Hiding\\v1 false", Encoding::Utf16Bom, Definition(L"<Hidden>false</Hidden>"), false},
        {L"Hiding\\v2 absent", Encoding::Utf8Bom, Definition(L"<Enabled>true</Enabled>"), false},
        {L"Hiding\\v3 outside settings", Encoding::Utf16Bom,
         Definition(L"<Enabled>true</Enabled>", L"lab",
                    L"  <Data><Hidden>true</Hidden></Data>\r\n"),
         false},
        {L"Hiding\\v4 capitalised", Encoding::Utf16Bom, Definition(L"<Hidden>True</Hidden>"),
         false},
        {L"Hiding\\v5 empty element", Encoding::Utf16Bom, Definition(L"<Hidden/>"), false},
        {L"Hiding\\v6 empty file", Encoding::Utf8, L"", false},
        // Tasks in refused folders: reachable one by one, never listed.
        {L"Refusals\\Coded\\kept", Encoding::Utf16Bom, Definition(L""), false},
        {L"Refusals\\Bare\\kept", Encoding::Utf16Bom, Definition(L""), false},
        {L"Refusals\\Plain\\kept", Encoding::Utf16Bom, Definition(L""), false},
        {L"Refusals\\Empty\\kept", Encoding::Utf16Bom, Definition(L""), false},
        {L"Refusals\\Success\\kept", Encoding::Utf16Bom, Definition(L""), false},
    };
    return tasks;
}

struct RefusalCase {
    std::wstring folder;
    Encoding encoding;
    std::wstring marker;
    HRESULT expected;
    std::optional<std::wstring> description;  // nullopt: no error object
};

const std::vector<RefusalCase>& RefusalCases() {
    static const std::vector<RefusalCase> cases = {
        {L"Refusals\\Coded", Encoding::Utf8,
         L"0x80070005 Lab scheduler: listing refused for \\Refusals\\Coded.\r\n",
         static_cast<HRESULT>(0x80070005),
         L"Lab scheduler: listing refused for \\Refusals\\Coded."},
        {L"Refusals\\Bare", Encoding::Utf16Bom, L"8007000e\r\nOut of lab memory.",
         static_cast<HRESULT>(0x8007000E), L"Out of lab memory."},
        {L"Refusals\\Plain", Encoding::Utf8Bom, L"Bad folder, no code", E_ACCESSDENIED,
         L"Bad folder, no code"},
        {L"Refusals\\Empty", Encoding::Utf8, L"", E_ACCESSDENIED, std::nullopt},
        {L"Refusals\\Success", Encoding::Utf8, L"0x00000001 A success code refuses nothing",
         E_ACCESSDENIED, L"A success code refuses nothing"},
    };
    return cases;
}

// ---- Walking the scheduler as the sweep does ------------------------------------------------

struct WalkResult {
    std::vector<std::wstring> lines;           // "folder P", "task P", "refused P tasks 0x..."
    std::map<std::wstring, std::wstring> xml;  // task path -> Xml
};

void Walk(ITaskFolder* folder, LONG flags, WalkResult& out) {
    BSTR rawPath = nullptr;
    ASSERT_EQ(Hex(folder->get_Path(&rawPath)), Hex(S_OK));
    const std::wstring path = Take(rawPath);
    out.lines.push_back(L"folder " + path);

    ComPtr<IRegisteredTaskCollection> tasks;
    HRESULT hr = folder->GetTasks(flags, tasks.Put());
    if (FAILED(hr)) {
        out.lines.push_back(L"refused " + path + L" tasks");
    } else {
        LONG count = -1;
        ASSERT_EQ(Hex(tasks->get_Count(&count)), Hex(S_OK));
        for (LONG i = 1; i <= count; ++i) {
            ComPtr<IRegisteredTask> task;
            ASSERT_EQ(Hex(tasks->get_Item(Index(VT_I4, i), task.Put())), Hex(S_OK));
            BSTR rawTaskPath = nullptr;
            BSTR rawXml = nullptr;
            ASSERT_EQ(Hex(task->get_Path(&rawTaskPath)), Hex(S_OK));
            ASSERT_EQ(Hex(task->get_Xml(&rawXml)), Hex(S_OK));
            const std::wstring taskPath = Take(rawTaskPath);
            out.lines.push_back(L"task " + taskPath);
            out.xml[taskPath] = Take(rawXml);
        }
    }
    ComPtr<ITaskFolderCollection> folders;
    hr = folder->GetFolders(TASK_ENUM_HIDDEN, folders.Put());
    if (FAILED(hr)) {
        out.lines.push_back(L"refused " + path + L" folders");
        return;
    }
    LONG count = -1;
    ASSERT_EQ(Hex(folders->get_Count(&count)), Hex(S_OK));
    for (LONG j = 1; j <= count; ++j) {
        ComPtr<ITaskFolder> child;
        ASSERT_EQ(Hex(folders->get_Item(Index(VT_I4, j), child.Put())), Hex(S_OK));
        Walk(child.Get(), flags, out);
    }
}

std::string Lines(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) {
        text += Utf16ToUtf8(line) + "\n";
    }
    return text;
}

// The description a caller reads after a failed folder call, the way COM callers read it.
std::optional<std::wstring> ErrorDescription(ITaskFolder* folder) {
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(folder->QueryInterface(__uuidof(ISupportErrorInfo),
                                      reinterpret_cast<void**>(support.Put()))) ||
        support->InterfaceSupportsErrorInfo(__uuidof(ITaskFolder)) != S_OK) {
        return std::nullopt;
    }
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.Put()) != S_OK || !info) {
        return std::nullopt;
    }
    BSTR raw = nullptr;
    if (FAILED(info->GetDescription(&raw))) {
        return std::nullopt;
    }
    return Take(raw);
}

std::optional<std::wstring> RegistryString(const wchar_t* name) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_QUERY_VALUE, &raw) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    UniqueNativeKey key(NativeKeyTraits{}, raw);
    wchar_t buffer[1024]{};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

std::string Show(const std::optional<std::wstring>& text) {
    return text ? "\"" + Utf16ToUtf8(*text) + "\"" : std::string("(none)");
}

// ---- Fixture --------------------------------------------------------------------------------

class LabSchedulerTest : public ::testing::Test {
  protected:
    using DllFunction = HRESULT(STDAPICALLTYPE*)();

    // Once per run: load and register the DLL, plant the store.
    static void SetUpTestSuite() {
        wineServer_ = RegistryString(nullptr);
        wineThreadingModel_ = RegistryString(L"ThreadingModel");
        library_.reset(::LoadLibraryW(DllPath().c_str()));
        if (!library_) {
            return;
        }
        registered_ = Call("DllRegisterServer");
        for (const PlantedTask& task : PlantedTasks()) {
            planted_ = planted_ && WriteNewFile(task.file, Encode(task.xml, task.encoding));
        }
        for (const RefusalCase& refusal : RefusalCases()) {
            planted_ = planted_ && WriteNewFile(refusal.folder + L"\\.hf-refuse",
                                                Encode(refusal.marker, refusal.encoding));
        }
    }
    static void TearDownTestSuite() { library_.reset(); }

    static HRESULT Call(const char* name) {
        const auto function = GetProcedure<DllFunction>(library_.get(), name);
        return function != nullptr ? function() : E_NOINTERFACE;
    }

    void SetUp() override {
        ASSERT_TRUE(library_) << "labtaskschd.dll not loaded from " << Utf16ToUtf8(DllPath());
        ASSERT_EQ(Hex(registered_), Hex(S_OK)) << "DllRegisterServer";
        ASSERT_TRUE(planted_) << "could not write the task files under "
                              << Utf16ToUtf8(TasksRoot());
        const HRESULT init = ::CoInitialize(nullptr);
        ASSERT_TRUE(SUCCEEDED(init)) << Hex(init);
        comInitialised_ = true;
        service_ = NewService();
        ASSERT_TRUE(service_);
        VARIANT empty{};
        ASSERT_EQ(Hex(service_->Connect(empty, empty, empty, empty)), Hex(S_OK));
    }
    void TearDown() override {
        service_.Reset();
        if (comInitialised_) {
            ::CoUninitialize();
        }
    }

    static ComPtr<ITaskService> NewService() {
        ComPtr<ITaskService> service;
        const HRESULT hr =
            ::CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                               __uuidof(ITaskService), reinterpret_cast<void**>(service.Put()));
        EXPECT_EQ(Hex(hr), Hex(S_OK)) << "CoCreateInstance(TaskScheduler)";
        return service;
    }

    ComPtr<ITaskFolder> Folder(const wchar_t* path) {
        ComPtr<ITaskFolder> folder;
        const UniqueBstr text = MakeBstr(path);
        EXPECT_EQ(Hex(service_->GetFolder(text.get(), folder.Put())), Hex(S_OK))
            << Utf16ToUtf8(path);
        return folder;
    }

    static inline UniqueLibrary library_;
    static inline HRESULT registered_ = E_FAIL;
    static inline bool planted_ = true;
    static inline std::optional<std::wstring> wineServer_;
    static inline std::optional<std::wstring> wineThreadingModel_;

    bool comInitialised_ = false;
    ComPtr<ITaskService> service_;
};

// ---- Tests ----------------------------------------------------------------------------------

TEST_F(LabSchedulerTest, RegistrationReplacesWinesServerAndPutsItBack) {
    ASSERT_TRUE(wineServer_.has_value()) << "Wine registers its own Task Scheduler class";
    EXPECT_EQ(Show(RegistryString(nullptr)), Show(DllPath()));
    EXPECT_EQ(Show(RegistryString(L"ThreadingModel")), Show(L"Both"));

    // A second registration keeps Wine's server as the one to restore.
    ASSERT_EQ(Hex(Call("DllRegisterServer")), Hex(S_OK));
    ASSERT_EQ(Hex(Call("DllUnregisterServer")), Hex(S_OK));
    EXPECT_EQ(Show(RegistryString(nullptr)), Show(wineServer_));
    EXPECT_EQ(Show(RegistryString(L"ThreadingModel")), Show(wineThreadingModel_));
    EXPECT_EQ(Show(RegistryString(L"HfLabPreviousServer")), Show(std::nullopt));
    EXPECT_EQ(Hex(Call("DllUnregisterServer")), Hex(S_FALSE)) << "Wine's server is not ours";
    EXPECT_EQ(Show(RegistryString(nullptr)), Show(wineServer_));

    ASSERT_EQ(Hex(Call("DllRegisterServer")), Hex(S_OK));
    EXPECT_EQ(Show(RegistryString(nullptr)), Show(DllPath()));
}

TEST_F(LabSchedulerTest, ConnectTakesOnlyTheLocalMachine) {
    ComPtr<ITaskService> fresh = NewService();
    ASSERT_TRUE(fresh);
    VARIANT_BOOL connected = VARIANT_TRUE;
    ASSERT_EQ(Hex(fresh->get_Connected(&connected)), Hex(S_OK));
    EXPECT_EQ(connected, VARIANT_FALSE);

    ComPtr<ITaskFolder> folder;
    UniqueBstr root = MakeBstr(L"\\");
    EXPECT_EQ(Hex(fresh->GetFolder(root.get(), folder.Put())),
              Hex(HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED)));
    EXPECT_FALSE(folder);

    VARIANT empty{};
    VARIANT server{};
    V_VT(&server) = VT_BSTR;
    UniqueBstr host = MakeBstr(L"otherhost");
    V_BSTR(&server) = host.get();
    EXPECT_EQ(Hex(fresh->Connect(server, empty, empty, empty)), Hex(E_NOTIMPL));
    ASSERT_EQ(Hex(fresh->get_Connected(&connected)), Hex(S_OK));
    EXPECT_EQ(connected, VARIANT_FALSE);

    ASSERT_EQ(Hex(fresh->Connect(empty, empty, empty, empty)), Hex(S_OK));
    ASSERT_EQ(Hex(fresh->get_Connected(&connected)), Hex(S_OK));
    EXPECT_EQ(connected, VARIANT_TRUE);
}

TEST_F(LabSchedulerTest, WalkListsHiddenTasksOnlyWithTheHiddenFlag) {
    const std::vector<std::wstring> common_head = {
        L"folder \\",         L"task \\Root visible",     L"folder \\A",
        L"folder \\A\\a-sub", L"task \\A\\a-sub\\inside", L"folder \\A\\B",
        L"folder \\A\\B\\C"};
    const std::vector<std::wstring> refusals = {L"folder \\Refusals",
                                                L"folder \\Refusals\\Bare",
                                                L"refused \\Refusals\\Bare tasks",
                                                L"refused \\Refusals\\Bare folders",
                                                L"folder \\Refusals\\Coded",
                                                L"refused \\Refusals\\Coded tasks",
                                                L"refused \\Refusals\\Coded folders",
                                                L"folder \\Refusals\\Empty",
                                                L"refused \\Refusals\\Empty tasks",
                                                L"refused \\Refusals\\Empty folders",
                                                L"folder \\Refusals\\Plain",
                                                L"refused \\Refusals\\Plain tasks",
                                                L"refused \\Refusals\\Plain folders",
                                                L"folder \\Refusals\\Success",
                                                L"refused \\Refusals\\Success tasks",
                                                L"refused \\Refusals\\Success folders"};

    std::vector<std::wstring> withHidden = common_head;
    for (const wchar_t* line :
         {L"task \\A\\B\\C\\apple utf8", L"task \\A\\B\\C\\Banana bom",
          L"task \\A\\B\\C\\HiddenDeep", L"task \\A\\B\\C\\mango", L"folder \\Hiding",
          L"task \\Hiding\\h1 true", L"task \\Hiding\\h2 one padded",
          L"task \\Hiding\\h3 among others", L"task \\Hiding\\v1 false",
          L"task \\Hiding\\v2 absent", L"task \\Hiding\\v3 outside settings",
          L"task \\Hiding\\v4 capitalised", L"task \\Hiding\\v5 empty element",
          L"task \\Hiding\\v6 empty file"}) {
        withHidden.push_back(line);
    }
    withHidden.insert(withHidden.end(), refusals.begin(), refusals.end());

    std::vector<std::wstring> withoutHidden = common_head;
    for (const wchar_t* line :
         {L"task \\A\\B\\C\\apple utf8", L"task \\A\\B\\C\\Banana bom", L"task \\A\\B\\C\\mango",
          L"folder \\Hiding", L"task \\Hiding\\v1 false", L"task \\Hiding\\v2 absent",
          L"task \\Hiding\\v3 outside settings", L"task \\Hiding\\v4 capitalised",
          L"task \\Hiding\\v5 empty element", L"task \\Hiding\\v6 empty file"}) {
        withoutHidden.push_back(line);
    }
    withoutHidden.insert(withoutHidden.end(), refusals.begin(), refusals.end());

    ComPtr<ITaskFolder> root = Folder(L"\\");
    ASSERT_TRUE(root);
    WalkResult all;
    Walk(root.Get(), TASK_ENUM_HIDDEN, all);
    EXPECT_EQ(Lines(all.lines), Lines(withHidden)) << "GetTasks(TASK_ENUM_HIDDEN) walk";
    WalkResult visible;
    Walk(root.Get(), 0, visible);
    EXPECT_EQ(Lines(visible.lines), Lines(withoutHidden)) << "GetTasks(0) walk";

    // Every listed definition comes back exactly as the file holds it, whatever its encoding.
    for (const PlantedTask& task : PlantedTasks()) {
        const std::wstring path = L"\\" + task.file;
        const auto found = all.xml.find(path);
        if (task.file.rfind(L"Refusals", 0) == 0) {
            EXPECT_EQ(found, all.xml.end()) << Utf16ToUtf8(path) << " listed from a refused folder";
            continue;
        }
        ASSERT_NE(found, all.xml.end()) << Utf16ToUtf8(path) << " not listed";
        EXPECT_EQ(Utf16ToUtf8(found->second), Utf16ToUtf8(task.xml)) << Utf16ToUtf8(path);
        EXPECT_EQ(found->second.size(), task.xml.size()) << Utf16ToUtf8(path);
    }
}

// Under WoW64 the 32-bit DLL's own System32\Tasks is SysWOW64's: a definition there is in
// another folder than the store, and no task.
TEST_F(LabSchedulerTest, UnderWow64System32TasksIsAnotherFolderThanTheStore) {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64) {
        GTEST_SKIP() << "a 64-bit process: its System32 is the native folder";
    }
    wchar_t buffer[MAX_PATH + 1]{};
    const std::wstring own =
        std::wstring(buffer, ::GetSystemDirectoryW(buffer, MAX_PATH)) + L"\\Tasks";
    ASSERT_TRUE(WriteNewFile(L"Stray32", Encode(Definition(L""), Encoding::Utf16Bom), own));
    EXPECT_EQ(::GetFileAttributesW((TasksRoot() + L"\\Stray32").c_str()), INVALID_FILE_ATTRIBUTES);
    ComPtr<ITaskFolder> root = Folder(L"\\");
    ASSERT_TRUE(root);
    ComPtr<IRegisteredTask> task;
    const UniqueBstr name = MakeBstr(L"Stray32");
    EXPECT_EQ(Hex(root->GetTask(name.get(), task.Put())),
              Hex(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    ::DeleteFileW((own + L"\\Stray32").c_str());
}

TEST_F(LabSchedulerTest, FolderAndTaskNamesAndPaths) {
    struct Case {
        const wchar_t* request;
        HRESULT expected;
        const wchar_t* path;
        const wchar_t* name;
    };
    const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const Case cases[] = {
        {L"\\", S_OK, L"\\", L"\\"},
        {L"", S_OK, L"\\", L"\\"},
        {L"\\A\\B", S_OK, L"\\A\\B", L"B"},
        {L"\\a\\b\\c", S_OK, L"\\A\\B\\C", L"C"},  // names take their case from the store
        {L"A\\B\\C\\", S_OK, L"\\A\\B\\C", L"C"},
        {L"\\\\A\\\\B", S_OK, L"\\A\\B", L"B"},
        {L"\\A\\Missing", notFound, nullptr, nullptr},
        {L"\\A\\B\\C\\mango", notFound, nullptr, nullptr},  // a task is no folder
        {L"\\A\\..\\A", E_INVALIDARG, nullptr, nullptr},
        {L"\\A\\*", E_INVALIDARG, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(std::wstring(L"GetFolder(\"") + c.request + L"\")"));
        ComPtr<ITaskFolder> folder;
        const UniqueBstr request = MakeBstr(c.request);
        ASSERT_EQ(Hex(service_->GetFolder(request.get(), folder.Put())), Hex(c.expected));
        if (c.path == nullptr) {
            EXPECT_FALSE(folder);
            continue;
        }
        BSTR path = nullptr;
        BSTR name = nullptr;
        ASSERT_EQ(Hex(folder->get_Path(&path)), Hex(S_OK));
        ASSERT_EQ(Hex(folder->get_Name(&name)), Hex(S_OK));
        EXPECT_EQ(Utf16ToUtf8(Take(path)), Utf16ToUtf8(c.path));
        EXPECT_EQ(Utf16ToUtf8(Take(name)), Utf16ToUtf8(c.name));
    }

    // Below a folder, paths are relative to it.
    ComPtr<ITaskFolder> a = Folder(L"\\A");
    ASSERT_TRUE(a);
    ComPtr<ITaskFolder> c;
    const UniqueBstr relative = MakeBstr(L"B\\C");
    ASSERT_EQ(Hex(a->GetFolder(relative.get(), c.Put())), Hex(S_OK));
    BSTR cPath = nullptr;
    ASSERT_EQ(Hex(c->get_Path(&cPath)), Hex(S_OK));
    EXPECT_EQ(Utf16ToUtf8(Take(cPath)), "\\A\\B\\C");

    // Single tasks, hidden ones and those of refused folders included; the marker is no task.
    struct TaskCase {
        const wchar_t* request;
        HRESULT expected;
        const wchar_t* path;
    };
    const TaskCase tasks[] = {
        {L"A\\B\\C\\HiddenDeep", S_OK, L"\\A\\B\\C\\HiddenDeep"},
        {L"Root visible", S_OK, L"\\Root visible"},
        {L"Refusals\\Coded\\kept", S_OK, L"\\Refusals\\Coded\\kept"},
        {L"A\\B\\C\\missing", notFound, nullptr},
        {L"A\\B", notFound, nullptr},
        {L"Refusals\\Coded\\.hf-refuse", notFound, nullptr},
    };
    ComPtr<ITaskFolder> root = Folder(L"\\");
    ASSERT_TRUE(root);
    for (const TaskCase& t : tasks) {
        SCOPED_TRACE(Utf16ToUtf8(std::wstring(L"GetTask(\"") + t.request + L"\")"));
        ComPtr<IRegisteredTask> task;
        const UniqueBstr request = MakeBstr(t.request);
        ASSERT_EQ(Hex(root->GetTask(request.get(), task.Put())), Hex(t.expected));
        if (t.path == nullptr) {
            EXPECT_FALSE(task);
            continue;
        }
        BSTR path = nullptr;
        ASSERT_EQ(Hex(task->get_Path(&path)), Hex(S_OK));
        EXPECT_EQ(Utf16ToUtf8(Take(path)), Utf16ToUtf8(t.path));
    }
}

TEST_F(LabSchedulerTest, CollectionsCountFromOneAndRejectOtherIndices) {
    ComPtr<ITaskFolder> c = Folder(L"\\A\\B\\C");
    ASSERT_TRUE(c);
    ComPtr<IRegisteredTaskCollection> tasks;
    ASSERT_EQ(Hex(c->GetTasks(TASK_ENUM_HIDDEN, tasks.Put())), Hex(S_OK));
    LONG count = 0;
    ASSERT_EQ(Hex(tasks->get_Count(&count)), Hex(S_OK));
    ASSERT_EQ(count, 4);

    struct Case {
        VARTYPE type;
        LONG index;
        HRESULT expected;
        const wchar_t* name;
    };
    const Case cases[] = {
        {VT_I4, 1, S_OK, L"apple utf8"},    {VT_I4, 4, S_OK, L"mango"},
        {VT_I2, 2, S_OK, L"Banana bom"},    {VT_UI4, 3, S_OK, L"HiddenDeep"},
        {VT_I4, 0, E_INVALIDARG, nullptr},  {VT_I4, 5, E_INVALIDARG, nullptr},
        {VT_I4, -1, E_INVALIDARG, nullptr}, {VT_UI4, -1, E_INVALIDARG, nullptr},
        {VT_I2, 0, E_INVALIDARG, nullptr},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE("Item(vt " + std::to_string(item.type) + ", " + std::to_string(item.index) +
                     ")");
        ComPtr<IRegisteredTask> task;
        ASSERT_EQ(Hex(tasks->get_Item(Index(item.type, item.index), task.Put())),
                  Hex(item.expected));
        if (item.name == nullptr) {
            EXPECT_FALSE(task);
            continue;
        }
        BSTR name = nullptr;
        ASSERT_EQ(Hex(task->get_Name(&name)), Hex(S_OK));
        EXPECT_EQ(Utf16ToUtf8(Take(name)), Utf16ToUtf8(item.name));
    }
    VARIANT byName{};
    V_VT(&byName) = VT_BSTR;
    const UniqueBstr mango = MakeBstr(L"mango");
    V_BSTR(&byName) = mango.get();
    ComPtr<IRegisteredTask> none;
    EXPECT_EQ(Hex(tasks->get_Item(byName, none.Put())), Hex(E_INVALIDARG)) << "Item by name";
    IUnknown* enumerator = nullptr;
    EXPECT_EQ(Hex(tasks->get__NewEnum(&enumerator)), Hex(E_NOTIMPL));

    // The folder collection of \A: "a-sub" sorts before "B" when case is ignored.
    ComPtr<ITaskFolder> a = Folder(L"\\A");
    ASSERT_TRUE(a);
    ComPtr<ITaskFolderCollection> folders;
    ASSERT_EQ(Hex(a->GetFolders(TASK_ENUM_HIDDEN, folders.Put())), Hex(S_OK));
    ASSERT_EQ(Hex(folders->get_Count(&count)), Hex(S_OK));
    ASSERT_EQ(count, 2);
    const wchar_t* expectedFolders[] = {L"a-sub", L"B"};
    for (LONG j = 1; j <= 2; ++j) {
        ComPtr<ITaskFolder> folder;
        ASSERT_EQ(Hex(folders->get_Item(Index(VT_I4, j), folder.Put())), Hex(S_OK));
        BSTR name = nullptr;
        ASSERT_EQ(Hex(folder->get_Name(&name)), Hex(S_OK));
        EXPECT_EQ(Utf16ToUtf8(Take(name)), Utf16ToUtf8(expectedFolders[j - 1])) << "folder " << j;
    }
    ComPtr<ITaskFolder> outside;
    EXPECT_EQ(Hex(folders->get_Item(Index(VT_I4, 3), outside.Put())), Hex(E_INVALIDARG));
    EXPECT_EQ(Hex(folders->get_Item(Index(VT_I4, 0), outside.Put())), Hex(E_INVALIDARG));
    EXPECT_FALSE(outside);

    // An empty folder lists nothing, without failing.
    ComPtr<ITaskFolder> b = Folder(L"\\A\\B");
    ASSERT_TRUE(b);
    ComPtr<IRegisteredTaskCollection> none2;
    ASSERT_EQ(Hex(b->GetTasks(TASK_ENUM_HIDDEN, none2.Put())), Hex(S_OK));
    ASSERT_EQ(Hex(none2->get_Count(&count)), Hex(S_OK));
    EXPECT_EQ(count, 0);
}

TEST_F(LabSchedulerTest, RefusedFolderFailsWithTheMarkersResultAndDescription) {
    for (const RefusalCase& refusal : RefusalCases()) {
        SCOPED_TRACE(Utf16ToUtf8(refusal.folder));
        ComPtr<ITaskFolder> folder = Folder((L"\\" + refusal.folder).c_str());
        ASSERT_TRUE(folder);

        ComPtr<IRegisteredTaskCollection> tasks;
        EXPECT_EQ(Hex(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.Put())), Hex(refusal.expected));
        EXPECT_FALSE(tasks);
        EXPECT_EQ(Show(ErrorDescription(folder.Get())), Show(refusal.description)) << "GetTasks";

        ComPtr<ITaskFolderCollection> folders;
        EXPECT_EQ(Hex(folder->GetFolders(TASK_ENUM_HIDDEN, folders.Put())), Hex(refusal.expected));
        EXPECT_FALSE(folders);
        EXPECT_EQ(Show(ErrorDescription(folder.Get())), Show(refusal.description)) << "GetFolders";
    }

    // A later failure of another kind carries no stale description.
    ComPtr<ITaskFolder> coded = Folder(L"\\Refusals\\Coded");
    ASSERT_TRUE(coded);
    ComPtr<IRegisteredTaskCollection> tasks;
    ASSERT_TRUE(FAILED(coded->GetTasks(TASK_ENUM_HIDDEN, tasks.Put())));
    ComPtr<ITaskFolder> missing;
    const UniqueBstr name = MakeBstr(L"Missing");
    EXPECT_EQ(Hex(coded->GetFolder(name.get(), missing.Put())),
              Hex(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    EXPECT_EQ(Show(ErrorDescription(coded.Get())), Show(std::nullopt));

    // Only the folder object offers error information, and only for ITaskFolder.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(Hex(coded->QueryInterface(__uuidof(ISupportErrorInfo),
                                        reinterpret_cast<void**>(support.Put()))),
              Hex(S_OK));
    EXPECT_EQ(Hex(support->InterfaceSupportsErrorInfo(__uuidof(ITaskService))), Hex(S_FALSE));
    ComPtr<ISupportErrorInfo> serviceSupport;
    EXPECT_EQ(Hex(service_->QueryInterface(__uuidof(ISupportErrorInfo),
                                           reinterpret_cast<void**>(serviceSupport.Put()))),
              Hex(E_NOINTERFACE));
}

TEST_F(LabSchedulerTest, EveryObjectFreesItselfAndTheDllCanUnload) {
    EXPECT_EQ(Hex(Call("DllCanUnloadNow")), Hex(S_FALSE)) << "the fixture's service is alive";

    ComPtr<ITaskFolder> c = Folder(L"\\A\\B\\C");
    ASSERT_TRUE(c);
    ComPtr<IRegisteredTaskCollection> tasks;
    ASSERT_EQ(Hex(c->GetTasks(TASK_ENUM_HIDDEN, tasks.Put())), Hex(S_OK));
    ComPtr<IRegisteredTask> task;
    ASSERT_EQ(Hex(tasks->get_Item(Index(VT_I4, 1), task.Put())), Hex(S_OK));
    ComPtr<ITaskFolderCollection> folders;
    ASSERT_EQ(Hex(c->GetFolders(TASK_ENUM_HIDDEN, folders.Put())), Hex(S_OK));

    // The folder is one object whichever interface it is reached through.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(Hex(c->QueryInterface(__uuidof(ISupportErrorInfo),
                                    reinterpret_cast<void**>(support.Put()))),
              Hex(S_OK));
    ComPtr<IUnknown> viaFolder;
    ComPtr<IUnknown> viaSupport;
    ASSERT_EQ(Hex(c.As(viaFolder)), Hex(S_OK));
    ASSERT_EQ(Hex(support.As(viaSupport)), Hex(S_OK));
    EXPECT_EQ(viaFolder.Get(), viaSupport.Get());
    EXPECT_EQ(c->AddRef(), 5u) << "c, support, viaFolder, viaSupport and this AddRef";
    EXPECT_EQ(c->Release(), 4u);
    viaFolder.Reset();
    viaSupport.Reset();
    support.Reset();

    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(Hex(task.As(dispatch)), Hex(S_OK));
    UINT typeInfos = 9;
    EXPECT_EQ(Hex(dispatch->GetTypeInfoCount(&typeInfos)), Hex(S_OK));
    EXPECT_EQ(typeInfos, 0u);
    dispatch.Reset();

    // Each last Release reports zero: the object is gone.
    EXPECT_EQ(task.Detach()->Release(), 0u) << "IRegisteredTask";
    EXPECT_EQ(tasks.Detach()->Release(), 0u) << "IRegisteredTaskCollection";
    EXPECT_EQ(folders.Detach()->Release(), 0u) << "ITaskFolderCollection";
    EXPECT_EQ(c.Detach()->Release(), 0u) << "ITaskFolder";
    EXPECT_EQ(service_.Detach()->Release(), 0u) << "ITaskService";
    EXPECT_EQ(Hex(Call("DllCanUnloadNow")), Hex(S_OK));
}

}  // namespace
}  // namespace hf::lab

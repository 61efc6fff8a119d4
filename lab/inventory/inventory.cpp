// labinventory: what the sandbox holds of each artefact of lab/plant/artefacts.txt.
//   labinventory <table> <output file>
// Writes one line per artefact, "<table line>|<kind>|<target>|<state>", where state is
//   service, driver: absent | running | stopped | <other state>, with ", key gone" when the
//                    manager knows the service but its key is gone, ", key left" when the key
//                    outlives the entry, ", its program still running" when a service's
//                    program runs on without it
//   key:             absent | present: <n> subkeys, <m> values
//   file, task:      absent | present: <n> bytes; a file still present that the system is to
//                    delete at the next restart (PendingFileRenameOperations, its path as the
//                    system sees it) is "pending deletion"
// The exit code is 0 unless the table or the output file cannot be used.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lab/plant/ArtefactTable.h"
#include "lab/plant/LabWin32.h"

namespace hf::lab {
namespace {

constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::wstring StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED:
            return L"stopped";
        case SERVICE_START_PENDING:
            return L"start pending";
        case SERVICE_STOP_PENDING:
            return L"stop pending";
        case SERVICE_RUNNING:
            return L"running";
        case SERVICE_CONTINUE_PENDING:
            return L"continue pending";
        case SERVICE_PAUSE_PENDING:
            return L"pause pending";
        case SERVICE_PAUSED:
            return L"paused";
        default:
            return L"state " + std::to_wstring(state);
    }
}

bool KeyExists(const std::wstring& path) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        return false;
    }
    RegKey key(RegKeyTraits{}, raw);
    return true;
}

// Whether a process runs the program file `path` (compared by file name, case ignored).
bool ProgramRunning(const std::wstring& path) {
    const std::wstring file = path.substr(path.find_last_of(L"\\/") + 1);
    // Like CreateFileW, the snapshot signals failure with INVALID_HANDLE_VALUE.
    FileHandle snapshot(FileHandleTraits{}, ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, file.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// Only passive queries: Wine has no side-effect-free test for "marked for deletion" (opening a
// marked service for a configuration change makes it drop the service, process and all), so a
// marked service shows as what the manager reports for it.
std::wstring ServiceState(const std::wstring& name, const std::optional<std::wstring>& program) {
    ServiceHandle manager(ServiceHandleTraits{},
                          ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return Failure(L"OpenSCManagerW", ::GetLastError());
    }
    ServiceHandle service(ServiceHandleTraits{},
                          ::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        DWORD error = ::GetLastError();
        if (error != ERROR_SERVICE_DOES_NOT_EXIST) {
            return Failure(L"OpenServiceW", error);
        }
        std::wstring state = KeyExists(kServicesKey + name) ? L"absent, key left" : L"absent";
        if (program && ProgramRunning(*program)) {
            state += L", its program still running";
        }
        return state;
    }
    SERVICE_STATUS status{};
    std::wstring state = ::QueryServiceStatus(service.get(), &status)
                             ? StateName(status.dwCurrentState)
                             : Failure(L"QueryServiceStatus", ::GetLastError());
    if (!KeyExists(kServicesKey + name)) {
        state += L", key gone";
    }
    return state;
}

std::wstring KeyState(const std::wstring& path) {
    HKEY raw = nullptr;
    LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &raw);
    if (rc == ERROR_FILE_NOT_FOUND) {
        return L"absent";
    }
    if (rc != ERROR_SUCCESS) {
        return Failure(L"RegOpenKeyExW", static_cast<DWORD>(rc));
    }
    RegKey key(RegKeyTraits{}, raw);
    DWORD subkeys = 0;
    DWORD values = 0;
    rc = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
        return Failure(L"RegQueryInfoKeyW", static_cast<DWORD>(rc));
    }
    return L"present: " + std::to_wstring(subkeys) + L" subkeys, " + std::to_wstring(values) +
           L" values";
}

std::wstring FileState(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? L"absent"
                   : Failure(L"GetFileAttributesExW", error);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return L"a folder";
    }
    ULARGE_INTEGER size{};
    size.LowPart = data.nFileSizeLow;
    size.HighPart = data.nFileSizeHigh;
    return L"present: " + std::to_wstring(size.QuadPart) + L" bytes";
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The restart carries out the list natively: under WoW64 this process's System32 is the
// SysWOW64 folder and its Sysnative the native System32.
std::wstring SystemSees(const std::wstring& path) {
    BOOL wow64 = FALSE;
    wchar_t folder[MAX_PATH + 1]{};
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64) || !wow64 ||
        ::GetSystemWow64DirectoryW(folder, MAX_PATH) == 0) {
        return path;
    }
    const std::wstring wow64Folder = folder;
    const std::wstring windows = wow64Folder.substr(0, wow64Folder.find_last_of(L'\\'));
    for (const auto& [alias, real] :
         {std::pair{windows + L"\\System32\\", wow64Folder + L"\\"},
          std::pair{windows + L"\\Sysnative\\", windows + L"\\System32\\"}}) {
        if (path.size() > alias.size() &&
            SameText(std::wstring_view(path).substr(0, alias.size()), alias)) {
            return real + path.substr(alias.size());
        }
    }
    return path;
}

// The files the system deletes at the next restart: the sources of PendingFileRenameOperations
// whose target is empty, without their "\??\" prefix. The value is a list of pairs.
std::vector<std::wstring> PendingDeletions() {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations",
                       RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    data.resize(size / sizeof(wchar_t));
    std::vector<std::wstring> deletions;
    std::wstring_view rest = data;
    auto next = [&rest] {
        const std::wstring_view item = rest.substr(0, rest.find(L'\0'));
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
        return item;
    };
    for (std::wstring_view source = next(); !source.empty(); source = next()) {
        if (next().empty() && source.starts_with(L"\\??\\")) {
            deletions.emplace_back(source.substr(4));
        }
    }
    return deletions;
}

std::wstring FileStateWithRestart(const std::wstring& path,
                                  const std::vector<std::wstring>& pending) {
    std::wstring state = FileState(path);
    if (state.starts_with(L"present")) {
        const std::wstring seen = SystemSees(path);
        for (const std::wstring& p : pending) {
            if (SameText(p, seen)) {
                return L"pending deletion";
            }
        }
    }
    return state;
}

std::wstring StateOf(const Artefact& a, const std::vector<std::wstring>& pending) {
    if (a.kind == L"service" || a.kind == L"driver") {
        return ServiceState(a.target, a.Option(L"path"));
    }
    if (a.kind == L"key") {
        return KeyState(a.target);
    }
    if (a.kind == L"file") {
        return FileStateWithRestart(a.target, pending);
    }
    return FileState(TaskStoreFolder() + a.target);
}

}  // namespace
}  // namespace hf::lab

int wmain(int argc, wchar_t** argv) {
    using namespace hf::lab;
    if (argc != 3) {
        PrintLine(L"usage: labinventory <table> <output file>");
        return 2;
    }
    std::wstring text;
    if (!ReadTextFile(argv[1], text)) {
        PrintLine(L"labinventory: cannot read " + std::wstring(argv[1]));
        return 2;
    }
    ArtefactTable table = ParseArtefactTable(text);
    for (const std::wstring& error : table.errors) {
        PrintLine(L"labinventory: " + error);
    }
    if (!table.errors.empty()) {
        return 2;
    }
    const std::vector<std::wstring> pending = PendingDeletions();
    std::wstring out;
    for (const Artefact& a : table.artefacts) {
        out += std::to_wstring(a.line) + L"|" + a.kind + L"|" + a.target + L"|" +
               StateOf(a, pending) + L"\n";
    }
    if (!WriteTextFile(argv[2], out)) {
        PrintLine(Failure(L"labinventory: writing " + std::wstring(argv[2]), ::GetLastError()));
        return 2;
    }
    return 0;
}

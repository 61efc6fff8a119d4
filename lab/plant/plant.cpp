// labplant: seeds the sandbox with the artefacts of lab/plant/artefacts.txt.
//   labplant plant <table> <source folder>...   creates every artefact (services not started)
//   labplant start <table>                       starts the services marked "run", waits until
//                                                they run; for a service with deny=, says whether
//                                                the manager now refuses those rights
// Every failure is printed with its table line; the exit code is the number of failures.

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lab/plant/ArtefactTable.h"
#include "lab/plant/LabWin32.h"

namespace hf::lab {
namespace {

constexpr DWORD kStartTimeoutMs = 20000;

class Planter {
  public:
    explicit Planter(std::vector<std::wstring> sources) : sources_(std::move(sources)) {}

    int failures() const { return failures_; }

    void Plant(const Artefact& a) {
        if (a.kind == L"service") {
            PlantService(a);
        } else if (a.kind == L"driver") {
            PlantDriver(a);
        } else if (a.kind == L"key") {
            PlantKey(a);
        } else if (a.kind == L"file") {
            PlantFile(a, a.target);
        } else if (a.kind == L"task") {
            PlantTask(a);
        }
    }

    void Start(const Artefact& a) {
        if (a.kind != L"service" || !a.Option(L"run")) {
            return;
        }
        ServiceHandle manager(ServiceHandleTraits{},
                              ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) {
            return Fail(a, hf::lab::Failure(L"OpenSCManagerW", ::GetLastError()));
        }
        ServiceHandle service(
            ServiceHandleTraits{},
            ::OpenServiceW(manager.get(), a.target.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
        if (!service) {
            return Fail(a, hf::lab::Failure(L"OpenServiceW", ::GetLastError()));
        }
        // An auto-start service may already be on its way up after the restart.
        if (!::StartServiceW(service.get(), 0, nullptr) &&
            ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
            return Fail(a, hf::lab::Failure(L"StartServiceW", ::GetLastError()));
        }
        const ULONGLONG deadline = ::GetTickCount64() + kStartTimeoutMs;
        SERVICE_STATUS status{};
        while (::QueryServiceStatus(service.get(), &status) &&
               status.dwCurrentState != SERVICE_RUNNING && ::GetTickCount64() < deadline) {
            ::Sleep(50);
        }
        if (status.dwCurrentState != SERVICE_RUNNING) {
            Fail(a, L"not running after " + std::to_wstring(kStartTimeoutMs / 1000) +
                        L" s (state " + std::to_wstring(status.dwCurrentState) + L")");
        }
        if (a.Option(L"deny")) {
            ProbeDenial(a, manager.get());
        }
    }

  private:
    // The rights a cleaning tool asks for when it stops and deletes a service.
    static constexpr DWORD kStopAndDelete = DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS;

    // Whether the manager, after the restart, refuses what deny= took away. Not a failure either
    // way: whether the sandbox's manager honours a service's security is what is being asked.
    void ProbeDenial(const Artefact& a, SC_HANDLE manager) {
        ServiceHandle probe(ServiceHandleTraits{},
                            ::OpenServiceW(manager, a.target.c_str(), kStopAndDelete));
        const DWORD error = probe ? ERROR_SUCCESS : ::GetLastError();
        const std::wstring asked =
            L"OpenServiceW with DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS";
        if (error == ERROR_ACCESS_DENIED) {
            Note(a, L"denial honoured: yes (" + asked + L" refused with 5)");
        } else if (probe) {
            Note(a, L"denial honoured: no (" + asked + L" succeeded)");
        } else {
            Note(a, L"denial honoured: no (" + hf::lab::Failure(asked, error) + L")");
        }
    }

    // deny=<right>,... : a DACL that denies those rights to Everyone and to Administrators and
    // allows everything else, so only the named rights are missing.
    void DenyRights(const Artefact& a, SC_HANDLE service, const std::wstring& rights) {
        DWORD mask = 0;
        for (size_t at = 0; at <= rights.size();) {
            size_t comma = std::min(rights.find(L',', at), rights.size());
            const std::wstring right = rights.substr(at, comma - at);
            if (right == L"delete") {
                mask |= DELETE;
            } else if (right == L"stop") {
                mask |= SERVICE_STOP;
            } else if (right == L"query") {
                mask |= SERVICE_QUERY_STATUS;
            } else {
                return Fail(a, L"deny: unknown right \"" + right + L"\" (delete, stop, query)");
            }
            at = comma + 1;
        }
        BYTE everyone[SECURITY_MAX_SID_SIZE];
        BYTE administrators[SECURITY_MAX_SID_SIZE];
        DWORD everyoneSize = sizeof everyone;
        DWORD administratorsSize = sizeof administrators;
        if (!::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyoneSize) ||
            !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                                  &administratorsSize)) {
            return Fail(a, hf::lab::Failure(L"CreateWellKnownSid", ::GetLastError()));
        }
        alignas(DWORD) BYTE aclBuffer[512];
        auto* acl = reinterpret_cast<ACL*>(aclBuffer);
        SECURITY_DESCRIPTOR descriptor{};
        if (!::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
            !::AddAccessDeniedAce(acl, ACL_REVISION, mask, everyone) ||
            !::AddAccessDeniedAce(acl, ACL_REVISION, mask, administrators) ||
            !::AddAccessAllowedAce(acl, ACL_REVISION, SERVICE_ALL_ACCESS, everyone) ||
            !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
            return Fail(a, hf::lab::Failure(L"building the DACL", ::GetLastError()));
        }
        if (!::SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, &descriptor)) {
            // Reported, not failed: the scenario that uses it says what the sandbox cannot show.
            Note(a, L"denial not set: " +
                        hf::lab::Failure(L"SetServiceObjectSecurity", ::GetLastError()));
        }
    }

    static void Note(const Artefact& a, const std::wstring& what) {
        PrintLine(L"labplant: line " + std::to_wstring(a.line) + L" (" + a.kind + L" " + a.target +
                  L"): " + what);
    }

    void Fail(const Artefact& a, const std::wstring& what) {
        ++failures_;
        PrintLine(L"labplant: line " + std::to_wstring(a.line) + L" (" + a.kind + L" " + a.target +
                  L"): " + what);
    }

    // The first source folder that holds the file.
    std::wstring Source(const std::wstring& name) const {
        for (const std::wstring& folder : sources_) {
            std::wstring path = folder + L"\\" + name;
            if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
                return path;
            }
        }
        return std::wstring();
    }

    static bool CreateFolders(const std::wstring& file) {
        for (size_t at = file.find(L'\\', 3); at != std::wstring::npos;
             at = file.find(L'\\', at + 1)) {
            std::wstring folder = file.substr(0, at);
            if (!::CreateDirectoryW(folder.c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
        return true;
    }

    void PlantFile(const Artefact& a, const std::wstring& path) {
        if (a.Option(L"existing")) {
            return;  // watched, not planted
        }
        if (!CreateFolders(path)) {
            return Fail(a, hf::lab::Failure(L"CreateDirectoryW", ::GetLastError()));
        }
        if (auto text = a.Option(L"text")) {
            if (!WriteTextFile(path, *text + L"\r\n")) {
                return Fail(a, hf::lab::Failure(L"writing the file", ::GetLastError()));
            }
        } else if (auto src = a.Option(L"src")) {
            std::wstring from = Source(*src);
            if (from.empty()) {
                return Fail(a, L"no source file " + *src);
            }
            if (!::CopyFileW(from.c_str(), path.c_str(), FALSE)) {
                return Fail(a, hf::lab::Failure(L"CopyFileW from " + from, ::GetLastError()));
            }
            // A fresh copy is "created now"; the copied attributes may include read-only.
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
        } else {
            return Fail(a, L"a file needs src= or text=");
        }
        if (auto age = a.Option(L"age")) {
            SetAge(a, path, std::stod(*age));
        }
    }

    // The definition goes where the Task Scheduler keeps it, as UTF-16 with a byte-order mark.
    void PlantTask(const Artefact& a) {
        const std::wstring path = TaskStoreFolder() + a.target;
        auto src = a.Option(L"src");
        std::wstring from = src ? Source(*src) : std::wstring();
        std::wstring xml;
        if (from.empty() || !ReadTextFile(from, xml)) {
            return Fail(a, L"a task needs src= naming a definition file the lab has");
        }
        if (!CreateFolders(path) || !WriteUtf16File(path, xml)) {
            return Fail(a, hf::lab::Failure(L"writing the task definition", ::GetLastError()));
        }
    }

    // Moves the file's times into the past. (Wine keeps creation equal to last write; setting
    // both keeps Windows and Wine alike.)
    void SetAge(const Artefact& a, const std::wstring& path, double days) {
        FileHandle file(FileHandleTraits{},
                        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return Fail(a, hf::lab::Failure(L"opening the file to set its age", ::GetLastError()));
        }
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{};
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= static_cast<ULONGLONG>(days * 24.0 * 3600.0 * 1e7);
        FILETIME then{t.LowPart, t.HighPart};
        if (!::SetFileTime(file.get(), &then, &then, &then)) {
            Fail(a, hf::lab::Failure(L"SetFileTime", ::GetLastError()));
        }
    }

    void CreateService(const Artefact& a, DWORD type, DWORD start, const std::wstring& image) {
        ServiceHandle manager(ServiceHandleTraits{},
                              ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        if (!manager) {
            return Fail(a, hf::lab::Failure(L"OpenSCManagerW", ::GetLastError()));
        }
        std::wstring display = a.Option(L"display").value_or(a.target);
        ServiceHandle service(
            ServiceHandleTraits{},
            ::CreateServiceW(manager.get(), a.target.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                             type, start, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr,
                             nullptr, nullptr, nullptr));
        if (!service) {
            return Fail(a, hf::lab::Failure(L"CreateServiceW", ::GetLastError()));
        }
        if (auto rights = a.Option(L"deny")) {
            DenyRights(a, service.get(), *rights);
        }
    }

    static DWORD StartType(const Artefact& a, DWORD fallback) {
        auto start = a.Option(L"start");
        if (!start) {
            return fallback;
        }
        if (*start == L"boot")
            return SERVICE_BOOT_START;
        if (*start == L"system")
            return SERVICE_SYSTEM_START;
        if (*start == L"auto")
            return SERVICE_AUTO_START;
        if (*start == L"disabled")
            return SERVICE_DISABLED;
        return SERVICE_DEMAND_START;
    }

    void PlantService(const Artefact& a) {
        auto exe = a.Option(L"exe");
        auto path = a.Option(L"path");
        if (!exe || !path) {
            return Fail(a, L"a service needs exe= (the lab program) and path= (where it goes)");
        }
        std::wstring from = Source(*exe);
        if (from.empty()) {
            return Fail(a, L"no source file " + *exe);
        }
        if (!CreateFolders(*path) || !::CopyFileW(from.c_str(), path->c_str(), FALSE)) {
            return Fail(a, hf::lab::Failure(L"copying " + from, ::GetLastError()));
        }
        // args= follow the quoted program path, as the manager passes them to the program.
        const std::wstring args = a.Option(L"args").value_or(L"");
        CreateService(a, SERVICE_WIN32_OWN_PROCESS, StartType(a, SERVICE_DEMAND_START),
                      L"\"" + *path + L"\"" + (args.empty() ? L"" : L" " + args));
    }

    void PlantDriver(const Artefact& a) {
        auto image = a.Option(L"image");
        if (!image) {
            return Fail(a, L"a driver needs image= (its ImagePath)");
        }
        CreateService(a, SERVICE_KERNEL_DRIVER, StartType(a, SERVICE_DEMAND_START), *image);
    }

    // Values are name=type:data, the name "@" standing for the unnamed default value.
    void PlantKey(const Artefact& a) {
        RegKey key;
        HKEY raw = nullptr;
        LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, a.target.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &raw, nullptr);
        if (rc != ERROR_SUCCESS) {
            return Fail(a, hf::lab::Failure(L"RegCreateKeyExW", static_cast<DWORD>(rc)));
        }
        key.reset(raw);
        for (const auto& [name, typed] : a.options) {
            std::wstring valueName = name == L"@" ? std::wstring() : name;
            size_t colon = typed.find(L':');
            std::wstring type = typed.substr(0, colon);
            std::wstring data =
                colon == std::wstring::npos ? std::wstring() : typed.substr(colon + 1);
            std::vector<BYTE> bytes;
            DWORD regType = REG_SZ;
            if (type == L"sz" || type == L"expand" || type == L"multi") {
                regType = type == L"sz" ? REG_SZ : type == L"expand" ? REG_EXPAND_SZ : REG_MULTI_SZ;
                if (regType == REG_MULTI_SZ) {
                    for (wchar_t& c : data) {
                        c = c == L',' ? L'\0' : c;
                    }
                    data.push_back(L'\0');
                }
                data.push_back(L'\0');
                const auto* p = reinterpret_cast<const BYTE*>(data.c_str());
                bytes.assign(p, p + data.size() * sizeof(wchar_t));
            } else if (type == L"dword") {
                regType = REG_DWORD;
                DWORD number = static_cast<DWORD>(std::stoul(data, nullptr, 0));
                const auto* p = reinterpret_cast<const BYTE*>(&number);
                bytes.assign(p, p + sizeof number);
            } else if (type == L"hex") {
                regType = REG_BINARY;
                for (size_t at = 0; at < data.size();) {
                    size_t comma = data.find(L',', at);
                    bytes.push_back(
                        static_cast<BYTE>(std::stoul(data.substr(at, comma - at), nullptr, 16)));
                    at = comma == std::wstring::npos ? data.size() : comma + 1;
                }
            } else {
                Fail(a, L"value " + name + L": unknown type \"" + type +
                            L"\" (sz, expand, multi, dword, hex)");
                continue;
            }
            rc = ::RegSetValueExW(key.get(), valueName.c_str(), 0, regType, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
            if (rc != ERROR_SUCCESS) {
                Fail(a, hf::lab::Failure(L"RegSetValueExW " + name, static_cast<DWORD>(rc)));
            }
        }
    }

    std::vector<std::wstring> sources_;
    int failures_ = 0;
};

}  // namespace
}  // namespace hf::lab

int wmain(int argc, wchar_t** argv) {
    using namespace hf::lab;
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc < 3 || (mode != L"plant" && mode != L"start") || (mode == L"plant" && argc < 4)) {
        PrintLine(L"usage: labplant plant <table> <source folder>... | labplant start <table>");
        return 100;
    }
    std::wstring text;
    if (!ReadTextFile(argv[2], text)) {
        PrintLine(L"labplant: cannot read " + std::wstring(argv[2]));
        return 100;
    }
    ArtefactTable table = ParseArtefactTable(text);
    for (const std::wstring& error : table.errors) {
        PrintLine(L"labplant: " + error);
    }
    if (!table.errors.empty()) {
        return 100;
    }
    Planter planter(std::vector<std::wstring>(argv + 3, argv + argc));
    for (const Artefact& artefact : table.artefacts) {
        try {
            mode == L"plant" ? planter.Plant(artefact) : planter.Start(artefact);
        } catch (const std::exception&) {  // a number in the table that does not parse
            PrintLine(L"labplant: line " + std::to_wstring(artefact.line) + L": bad number");
            return 100;
        }
    }
    return planter.failures();
}

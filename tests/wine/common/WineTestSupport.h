#pragma once
// The set-up every Wine test shares: facts of the throwaway prefix, where the test's fixtures
// are, files and folders made and removed in the prefix, programs run to their end, and the
// lab's Task Scheduler registered in place of Wine's. Header-only: a test folder includes it and
// needs nothing else in its CMakeLists.txt. Owners are those of platform/win32/Win32Handles.h.

#include "platform/Text.h"
#include "platform/win32/Win32Handles.h"
#include "tests/fakes/Utf16Le.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace hf::wine {

// ---- the prefix ----

// The prefix's System32 as a 64-bit process names it, and as every test plants into it.
inline const std::wstring kSystem32 = L"C:\\Windows\\System32\\";

// Whether this test runs as a 32-bit process on 64-bit Windows (the i686 build under WoW64).
inline bool UnderWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The native System32 as this process names it.
inline std::wstring NativeSystem32() {
    return UnderWow64() ? L"C:\\Windows\\Sysnative\\" : kSystem32;
}

// ---- fixture paths ----

// The folder of this test's executable, where its fixtures are built, with a trailing backslash.
inline std::wstring ExeDir() {
    wchar_t buffer[MAX_PATH + 1]{};
    const std::wstring exe(buffer, ::GetModuleFileNameW(nullptr, buffer, MAX_PATH));
    return exe.substr(0, exe.rfind(L'\\') + 1);
}

// A Linux path (a build-time definition) as the Windows side sees it (the Z: drive).
inline std::wstring FromUnixPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

// ---- files and folders ----

// Creates `directory` and every missing folder above it.
inline void CreateDirectories(const std::wstring& directory) {
    for (size_t at = directory.find(L'\\', 3); at != std::wstring::npos;
         at = directory.find(L'\\', at + 1)) {
        ::CreateDirectoryW(directory.substr(0, at).c_str(), nullptr);
    }
    ::CreateDirectoryW(directory.c_str(), nullptr);
}

// A new file; an old one is removed first (the prefix's files are hard links to its template).
inline void WriteNewFile(const std::wstring& path, const std::string& bytes) {
    CreateDirectories(path.substr(0, path.rfind(L'\\')));
    ::DeleteFileW(path.c_str());
    UniqueFile file(FileTraits{}, ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file &&
                ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) &&
                written == bytes.size())
        << Utf16ToUtf8(path);
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadFileBytes(const std::wstring& path) {
    UniqueFile file(FileTraits{},
                    ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

// Calls `visit(path, data)` for each entry of `directory` but "." and "..", in the order the
// search gives them; the search is closed when it returns.
template <typename Visit>
void ForEachEntry(const std::wstring& directory, Visit&& visit) {
    WIN32_FIND_DATAW data{};
    UniqueFind search(FindTraits{}, ::FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (!search) {
        return;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            visit(directory + L"\\" + name, data);
        }
    } while (::FindNextFileW(search.get(), &data));
}

inline bool IsDirectory(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A text file as Windows writes task definitions: UTF-16LE with a byte order mark.
inline std::string Utf16FileBytes(std::wstring_view text) {
    const test::Bytes units = test::Utf16Le(text, false);
    return "\xFF\xFE" + std::string(units.begin(), units.end());
}

// Removes `directory` with everything below it, as far as it can.
inline void RemoveTree(const std::wstring& directory) {
    ForEachEntry(directory, [](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (IsDirectory(data)) {
            RemoveTree(path);
        } else {
            ::DeleteFileW(path.c_str());
        }
    });
    ::RemoveDirectoryW(directory.c_str());
}

// ---- programs ----

// Starts `commandLine` (with `application`, or null to take it from the command line) and waits
// up to `milliseconds` for it to end; its exit code, or STILL_ACTIVE when it did not start or
// did not end.
inline DWORD RunAndWait(const wchar_t* application, std::wstring commandLine, DWORD milliseconds,
                        DWORD creationFlags = 0) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(application, commandLine.data(), nullptr, nullptr, FALSE, creationFlags,
                          nullptr, nullptr, &startup, &started)) {
        return STILL_ACTIVE;
    }
    const UniqueKernelHandle process(KernelHandleTraits{}, started.hProcess);
    const UniqueKernelHandle thread(KernelHandleTraits{}, started.hThread);
    DWORD code = STILL_ACTIVE;
    ::WaitForSingleObject(process.get(), milliseconds);
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

// ---- the lab's Task Scheduler ----

// Loads the lab's scheduler DLL into `library` and registers it for the Task Scheduler class
// (Wine's own cannot list tasks); DllRegisterServer's result, E_NOINTERFACE when the DLL or its
// export is missing.
inline HRESULT RegisterLabScheduler(const std::wstring& dll, UniqueLibrary& library) {
    library.reset(::LoadLibraryW(dll.c_str()));
    using Register = HRESULT(WINAPI*)();
    const auto registerServer = GetProcedure<Register>(library.get(), "DllRegisterServer");
    return registerServer != nullptr ? registerServer() : E_NOINTERFACE;
}

}  // namespace hf::wine

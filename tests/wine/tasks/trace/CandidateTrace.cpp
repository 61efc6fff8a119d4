// One candidate examined as the task rules examine one: walked, opened, its version read, its
// age read and its deletion, through the product's own code and the real API. Two marker opens
// ("C:\hftrace-begin", "C:\hftrace-end") frame it in Wine's file trace, which
// candidate-trace.sh reads. Exit code 0 when the candidate was found and deleted.

#include "inspect/VersionInfo.h"
#include "platform/win32/Win32Platform.h"
#include "tasks/CandidateFile.h"
#include "tasks/PayloadDeletion.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::wstring folder = L"C:\\hftrace\\folder";
    const std::wstring payload = folder + L"\\ab12cd34.dll";
    ::CreateDirectoryW(L"C:\\hftrace", nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    if (!::CopyFileW(argv[1], payload.c_str(), FALSE)) {
        return 3;
    }
    const hf::Win32Platform platform;
    ::GetFileAttributesW(L"C:\\hftrace-begin");
    int result = 4;
    {
        hf::CandidateFolders folders(platform.Get());
        hf::Candidate candidate = folders.Examine(payload, true);
        const auto& block = candidate.VersionBlock(platform.Get().Files());
        const bool loader =
            block && hf::VersionString(*block, L"ProductVersion") == L"10.0.19041.388";
        if (candidate.state == hf::Candidate::State::kOpen && loader &&
            candidate.info.ftCreationTime.dwHighDateTime != 0 &&
            hf::DeletePayload(platform.Get(), candidate).result ==
                hf::PayloadDeletionResult::kDeleted) {
            result = 0;
        }
    }
    ::GetFileAttributesW(L"C:\\hftrace-end");
    std::printf("candidate examined: %s\n", result == 0 ? "found and deleted" : "not as meant");
    return result == 0 && ::GetFileAttributesW(payload.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}

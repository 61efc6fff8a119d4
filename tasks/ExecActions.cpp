#include "tasks/ExecActions.h"

#include "inspect/FileAge.h"
#include "inspect/Patterns.h"
#include "inspect/VersionInfo.h"
#include "platform/Files.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "tasks/FieldSplit.h"
#include "tasks/LocalPath.h"
#include "tasks/PayloadDeletion.h"
#include "tasks/TaskDefinition.h"

#include <array>
#include <vector>

namespace hf {

namespace {

constexpr std::wstring_view kCmdSwitch = L"/C ";
constexpr std::wstring_view kBatchExtension = L".BAT";
constexpr std::wstring_view kLoader = L"rundll32.exe";
constexpr wchar_t kNamePattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{8}$";
constexpr wchar_t kEntryPattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{10}$";
constexpr std::array<std::wstring_view, 2> kSystemFolders = {L"C:\\Windows\\System32\\",
                                                             L"C:\\Windows\\Sysnative\\"};
constexpr wchar_t kProductName[] = L"ProductName";
constexpr wchar_t kOriginalFilename[] = L"OriginalFilename";
constexpr wchar_t kProductVersion[] = L"ProductVersion";
constexpr std::wstring_view kLoaderProductVersion = L"10.0.19041.388";
constexpr std::int32_t kAgeLimitDays = 15;

void RemoveAll(std::wstring& text, std::wstring_view part) {
    for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at)) {
        text.erase(at, part.size());
    }
}

// The batch file the arguments name: "/C " and quotes removed, ".BAT" appended.
std::wstring BatchPath(std::wstring upperArguments) {
    RemoveAll(upperArguments, kCmdSwitch);
    RemoveAll(upperArguments, L"\"");
    return upperArguments + std::wstring(kBatchExtension);
}

// Missing fields read as empty text: arguments without a comma, or none at all, then simply do
// not match instead of ending the whole run.
std::wstring FieldOrEmpty(const TStringList& fields, int index) {
    return index < fields.Count() ? fields[index] : std::wstring();
}

// The files a library field names: the field itself when it holds a path, else its copy in
// each system folder, in that order.
std::vector<std::wstring> LibraryCandidates(const std::wstring& library) {
    if (ContainsPath(library)) {
        return {library};
    }
    std::vector<std::wstring> candidates;
    for (std::wstring_view folder : kSystemFolders) {
        candidates.push_back(std::wstring(folder) + library);
    }
    return candidates;
}

// Deletes every candidate that passes `test`, each judged on its own. A candidate off the local
// fixed disks is passed over before its first file-system call, one with a link on the way
// before any call that would follow it.
template <typename Test>
void DeleteCandidates(const Platform& platform, const std::wstring& library, Test test) {
    for (const std::wstring& candidate : LibraryCandidates(library)) {
        if (IsLocalFixedPath(platform.Files(), candidate) &&
            HasNoLinkOnTheWay(platform.Files(), candidate) && test(candidate)) {
            DeletePayload(platform, candidate);
        }
    }
}

// A library given by path must have no ProductName. A bare name's copies, in the system folders,
// must have no OriginalFilename, as the version branch asks: a task of any user may name the
// shared runtime libraries there (msvcp140.dll has the name's shape), and those carry one.
void DeleteByName(const Platform& platform, const std::wstring& library) {
    const bool byPath = ContainsPath(library);
    DeleteCandidates(platform, library, [&](const std::wstring& candidate) {
        return FileExists(platform.Files(), candidate) &&
               GetVersionString(platform, candidate, byPath ? kProductName : kOriginalFilename)
                   .empty();
    });
}

bool IsRecentLoaderBuild(const Platform& platform, const std::wstring& candidate) {
    return FileExists(platform.Files(), candidate) &&
           GetVersionString(platform, candidate, kOriginalFilename).empty() &&
           GetVersionString(platform, candidate, kProductVersion) == kLoaderProductVersion &&
           WholeDaysBetween(LocalNow(platform),
                            GetFileDateTime(platform, candidate, kCreationTime)) < kAgeLimitDays;
}

void DeleteByVersion(const Platform& platform, const std::wstring& library) {
    DeleteCandidates(platform, library, [&](const std::wstring& candidate) {
        return IsRecentLoaderBuild(platform, candidate);
    });
}

void ApplyLoaderRule(const Platform& platform, const std::wstring& arguments) {
    TStringList fields;
    SplitFields(arguments, fields);
    const std::wstring library = FieldOrEmpty(fields, 0);
    const std::wstring match = LibraryNameMatch(library);
    const std::wstring entry = FieldOrEmpty(fields, 1);
    const std::wstring stem(ExtensionlessForm(match));
    if (RegexIsMatch(kNamePattern, stem) && RegexIsMatch(kEntryPattern, entry)) {
        DeleteByName(platform, library);
    } else {
        DeleteByVersion(platform, library);
    }
}

}  // namespace

std::wstring_view FileNamePart(std::wstring_view text) {
    const std::size_t separator = text.find_last_of(L"\\:");
    return separator == std::wstring_view::npos ? text : text.substr(separator + 1);
}

bool ContainsPath(std::wstring_view text) {
    return text.find_first_of(L"\\/:") != std::wstring_view::npos;
}

std::wstring_view ExtensionlessForm(std::wstring_view text) {
    const std::size_t dot = text.rfind(L'.');
    const std::size_t separator = text.find_last_of(L"\\:");
    if (dot == std::wstring_view::npos ||
        (separator != std::wstring_view::npos && separator > dot)) {
        return text;
    }
    return text.substr(0, dot);
}

void CheckExecActions(const Platform& platform, RegisteredTask& task) {
    const std::wstring powerShell = UpperCase(kPowerShellFolder);
    const std::wstring loader = UpperCase(kLoader);

    const TaskDefinition definition(platform, ReadTaskXml(platform, task));
    std::unique_ptr<XmlNodeList> actions = definition.SelectNodes(L"Actions/Exec");
    const std::int32_t count = NodeCount(platform, actions.get());
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<XmlNode> action = NodeAt(platform, *actions, i);
        std::wstring working = UpperCase(ChildText(platform, action.get(), L"Command"));
        if (Contains(working, powerShell) && !Contains(FileNamePart(working), L".")) {
            working = UpperCase(ChildText(platform, action.get(), L"Arguments"));
            if (Contains(working, powerShell)) {
                DeletePayload(platform, BatchPath(working));
                break;  // the task's other actions are not examined
            }
        }
        if (Contains(working, loader)) {
            ApplyLoaderRule(platform, ChildText(platform, action.get(), L"Arguments"));
        }
    }
}

}  // namespace hf

#include "tasks/ExecActions.h"

#include "inspect/FileAge.h"
#include "inspect/Patterns.h"
#include "inspect/VersionInfo.h"
#include "platform/Files.h"
#include "platform/StringList.h"
#include "platform/Text.h"
#include "tasks/FieldSplit.h"
#include "inspect/VersionResource.h"
#include "tasks/PayloadLedger.h"
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
// each system folder: System32 and, where the process is a 32-bit one on 64-bit Windows, the
// native folder through Sysnative. 32-bit Windows has no Sysnative: its System32 is the native
// folder.
std::vector<std::wstring> LibraryCandidates(const std::wstring& library, bool wow64) {
    if (ContainsPath(library)) {
        return {library};
    }
    std::vector<std::wstring> candidates;
    for (std::wstring_view folder : kSystemFolders) {
        if (wow64 || folder == kSystemFolders.front()) {
            candidates.push_back(std::wstring(folder) + library);
        }
    }
    return candidates;
}

// Deletes every candidate that passes `test`, each judged on its own, through the handle it was
// examined through. One passed over for where it points is noted before anything of it is read.
template <typename Test>
void DeleteCandidates(TaskPayloads& payloads, const std::wstring& library, Test test) {
    for (const std::wstring& path : LibraryCandidates(library, payloads.Wow64())) {
        Candidate candidate = payloads.Examine(path, true);
        if (candidate.state == Candidate::State::kOpen && test(candidate)) {
            payloads.Remove(candidate);
        }
    }
}

// Whether the candidate's version resource has no `key` string (or none at all). A file whose
// content could not be read at all is not taken for one without: nothing is known of it.
bool HasNoVersionString(FileApi& files, Candidate& candidate, const wchar_t* key) {
    if (!candidate.CanRead()) {
        return false;
    }
    const auto& block = candidate.VersionBlock(files);
    return !block || VersionString(*block, key).empty();
}

std::wstring VersionStringOf(FileApi& files, Candidate& candidate, const wchar_t* key) {
    const auto& block = candidate.VersionBlock(files);
    return block ? VersionString(*block, key) : std::wstring();
}

// A library given by path must have no ProductName. A bare name's copies, in the system folders,
// must have no OriginalFilename, as the version branch asks: a task of any user may name the
// shared runtime libraries there (msvcp140.dll has the name's shape), and those carry one.
void DeleteByName(TaskPayloads& payloads, const std::wstring& library) {
    FileApi& files = payloads.GetPlatform().Files();
    const wchar_t* key = ContainsPath(library) ? kProductName : kOriginalFilename;
    DeleteCandidates(payloads, library, [&](Candidate& candidate) {
        return HasNoVersionString(files, candidate, key);
    });
}

bool IsRecentLoaderBuild(const Platform& platform, Candidate& candidate) {
    FileApi& files = platform.Files();
    return HasNoVersionString(files, candidate, kOriginalFilename) &&
           VersionStringOf(files, candidate, kProductVersion) == kLoaderProductVersion &&
           WholeDaysBetween(LocalNow(platform),
                            FileTimeToLocalDateTime(platform, candidate.info.ftCreationTime)) <
               kAgeLimitDays;
}

void DeleteByVersion(TaskPayloads& payloads, const std::wstring& library) {
    DeleteCandidates(payloads, library, [&](Candidate& candidate) {
        return IsRecentLoaderBuild(payloads.GetPlatform(), candidate);
    });
}

void ApplyLoaderRule(TaskPayloads& payloads, const std::wstring& arguments) {
    TStringList fields;
    SplitFields(arguments, fields);
    const std::wstring library = FieldOrEmpty(fields, 0);
    const std::wstring match = LibraryNameMatch(library);
    const std::wstring entry = FieldOrEmpty(fields, 1);
    const std::wstring stem(ExtensionlessForm(match));
    if (RegexIsMatch(kNamePattern, stem) && RegexIsMatch(kEntryPattern, entry)) {
        DeleteByName(payloads, library);
    } else {
        DeleteByVersion(payloads, library);
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
    PayloadLedger ledger;
    TaskPayloads payloads(platform, ledger);
    CheckExecActions(payloads, task);
}

void CheckExecActions(TaskPayloads& payloads, RegisteredTask& task) {
    const Platform& platform = payloads.GetPlatform();
    const std::wstring powerShell = UpperCase(kPowerShellFolder);
    const std::wstring loader = UpperCase(kLoader);

    const TaskDefinition definition(platform, payloads.Document(), ReadTaskXml(platform, task));
    std::unique_ptr<XmlNodeList> actions = definition.SelectNodes(L"Actions/Exec");
    const std::int32_t count = NodeCount(platform, actions.get());
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<XmlNode> action = NodeAt(platform, *actions, i);
        std::wstring working = UpperCase(ChildText(platform, action.get(), L"Command"));
        if (Contains(working, powerShell) && !Contains(FileNamePart(working), L".")) {
            working = UpperCase(ChildText(platform, action.get(), L"Arguments"));
            if (Contains(working, powerShell)) {
                Candidate batch = payloads.Examine(BatchPath(working), false);
                payloads.Remove(batch);
                break;  // the task's other actions are not examined
            }
        }
        if (Contains(working, loader)) {
            ApplyLoaderRule(payloads, ChildText(platform, action.get(), L"Arguments"));
        }
    }
}

}  // namespace hf

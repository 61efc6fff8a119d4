// Fuzz target: the scheduled-task sweep over an arbitrary task definition: the script-host rule
// (IsUserScriptTask, DeleteScriptPayload) and the Exec-action rules (CheckExecActions), through
// the fake scheduler, the fake XML document, files with version resources and the fake clock.
//
// Input, from the end: a flags byte (hidden task, folder depth, COM and document failures), a
// failure selector and its skip count (one scheduler or document call made to fail), eight
// planting bytes; the rest is the definition text (FuzzSupport.h), well formed or not.
//
// The definition is first read on its own through the fake document, to learn which texts it
// holds: every Exec action's first Command and Arguments, and the principals. From those come
// the only paths the rules may name:
//   - the batch path: the upper-cased arguments without "/C " and quotes, plus ".BAT", when
//     they contain WINDOWSPOWERSHELL;
//   - the script path: the first action's arguments without quotes, when they contain
//     "WindowsPowerShell" and the task is a user's script-host task;
//   - the library, for an action with RUNDLL32.EXE in its upper-cased command or arguments:
//     field 0 itself, and "C:\Windows\System32\" or "C:\Windows\Sysnative\" followed by
//     field 0 when that names a file directly in the folder (field 0 holds no '\' or '/').
// Files are planted at field 0 and in both folders as the planting bytes say (absent, without
// version, a system library, the loader's build new, old or dated ahead, a folder, unreadable, or
// undeletable), next to sentinel files. After the sweep:
//   - every deletion asked for (an open for deletion) is one of those paths, exactly, absolute
//     on a drive (never a share, a pipe or a relative path), and no file handle outlives it;
//   - every sentinel that none of those paths names is still there;
//   - nothing but EOleException left the sweep, and that only for an injected failure, with
//     its HRESULT;
//   - the definitions are unchanged, COM was uninitialised once with every scheduler and
//     document object released, and none is alive afterwards;
//   - IsUserScriptTask, asked directly, agrees with the principals and actions read.

#include "FuzzSupport.h"
#include "ReferenceSplit.h"

#include "platform/Errors.h"
#include "platform/Platform.h"
#include "tasks/PayloadLedger.h"
#include "tasks/TaskSweep.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeScheduler.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/FakeTime.h"
#include "tests/fakes/FakeVersion.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <optional>

namespace {

using hf::fake::FakeFileSystem;
using hf::fake::FakeTime;
using hf::fake::FakeVersionResource;
using hf::fuzz::Show;

const std::wstring kSystem32 = L"C:\\Windows\\System32\\";
const std::wstring kSysnative = L"C:\\Windows\\Sysnative\\";
constexpr hf::HResult kClassNotRegistered = static_cast<hf::HResult>(0x80040154);

std::wstring Upper(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return out;
}

bool Has(std::wstring_view text, std::wstring_view part) {
    return text.find(part) != std::wstring_view::npos;
}

std::wstring Without(std::wstring_view text, wchar_t c) {
    std::wstring out;
    for (wchar_t d : text) {
        if (d != c) {
            out.push_back(d);
        }
    }
    return out;
}

// One pass from the left: each "/C " found in the text as it stands is dropped.
std::wstring WithoutSwitch(std::wstring_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, 3) == L"/C ") {
            i += 3;
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

// ---- what the definition holds, read through the fake document alone ----

struct Action {
    std::wstring command;    // the first Command's text
    std::wstring arguments;  // the first Arguments' text
};

struct Definition {
    bool userPrincipal = false;
    bool scriptAction = false;
    std::vector<Action> actions;  // every Exec action, in document order
};

std::wstring TextOf(hf::XmlNode* node) {
    std::wstring text;
    if (node != nullptr) {
        node->get_text(text);
    }
    return text;
}

std::wstring ChildTextOf(hf::XmlNode& node, const std::wstring& name) {
    std::unique_ptr<hf::XmlNode> child;
    node.selectSingleNode(name, child);
    return TextOf(child.get());
}

std::vector<std::unique_ptr<hf::XmlNode>> Select(hf::XmlNode& root, const std::wstring& query) {
    std::vector<std::unique_ptr<hf::XmlNode>> nodes;
    std::unique_ptr<hf::XmlNodeList> list;
    root.selectNodes(query, list);
    std::int32_t length = 0;
    if (list) {
        list->get_length(length);
    }
    for (std::int32_t i = 0; i < length; ++i) {
        std::unique_ptr<hf::XmlNode> node;
        list->get_item(i, node);
        nodes.push_back(std::move(node));
    }
    return nodes;
}

Definition ReadDefinition(const std::wstring& xml) {
    Definition definition;
    hf::fake::FakeXml reader;
    std::unique_ptr<hf::XmlDocument> document;
    reader.Create(document);
    bool parsed = false;
    document->loadXML(xml, parsed);
    std::unique_ptr<hf::XmlNode> root;
    document->get_documentElement(root);
    if (!root) {
        return definition;
    }
    for (auto& user : Select(*root, L"Principals/Principal/UserId")) {
        definition.userPrincipal =
            definition.userPrincipal || Upper(TextOf(user.get())).starts_with(L"S-1-5-21-");
    }
    for (auto& action : Select(*root, L"Actions/Exec")) {
        if (!action) {
            continue;
        }
        Action read{ChildTextOf(*action, L"Command"), ChildTextOf(*action, L"Arguments")};
        definition.scriptAction =
            definition.scriptAction ||
            (Has(Upper(read.command), L"CSCRIPT.EXE") && Has(Upper(read.arguments), L".VBS"));
        definition.actions.push_back(std::move(read));
    }
    return definition;
}

struct Names {
    std::vector<std::wstring> deletable;  // exact texts a deletion may be asked for
    std::vector<std::wstring> libraries;  // where a named library may lie
};

Names NamesIn(const Definition& definition) {
    Names names;
    // The script-host rule reads the first Exec action only, and only for a user's script task.
    if (definition.userPrincipal && definition.scriptAction) {
        const std::wstring& arguments = definition.actions.front().arguments;
        if (Has(arguments, L"WindowsPowerShell")) {
            names.deletable.push_back(Without(arguments, L'"'));
        }
    }
    for (const Action& action : definition.actions) {
        const std::wstring upper = Upper(action.arguments);
        if (Has(upper, L"WINDOWSPOWERSHELL")) {
            names.deletable.push_back(Without(WithoutSwitch(upper), L'"') + L".BAT");
        }
        // The loader rule looks for rundll32.exe in the command, or in the arguments when the
        // batch rule read them.
        if (!Has(Upper(action.command), L"RUNDLL32.EXE") && !Has(upper, L"RUNDLL32.EXE")) {
            continue;
        }
        const std::vector<std::wstring> fields = hf::fuzz::ReferenceSplit(action.arguments);
        const std::wstring library = fields.empty() ? std::wstring() : fields[0];
        names.libraries.push_back(library);
        names.deletable.push_back(library);
        for (const std::wstring& folder : {kSystem32, kSysnative}) {
            names.libraries.push_back(folder + library);
            if (library.find_first_of(L"\\/") == std::wstring::npos) {
                names.deletable.push_back(folder + library);
            }
        }
    }
    return names;
}

// ---- the machine ----

FakeVersionResource Resource(std::initializer_list<std::pair<std::wstring, std::wstring>> strings) {
    FakeVersionResource resource;
    resource.AddTranslation(0x0409, 0x04B0);
    for (const auto& [key, value] : strings) {
        resource.SetString(L"040904B0", key, value);
    }
    return resource;
}

FakeVersionResource SystemLibrary() {
    return Resource({{L"ProductName", L"Microsoft Windows"},
                     {L"OriginalFilename", L"kernel32.dll"},
                     {L"ProductVersion", L"10.0.19041.388"}});
}

FakeVersionResource LoaderBuild() {
    return Resource({{L"ProductVersion", L"10.0.19041.388"}, {L"FileDescription", L"x"}});
}

// The present moment is 2024-05-20 12:00 local (UTC): these lie 10 days before, 19 days
// before and 3 days after it.
const hf::FileTime kRecent = FakeTime::MakeFileTime(2024, 5, 10);
const hf::FileTime kOld = FakeTime::MakeFileTime(2024, 5, 1);
const hf::FileTime kAhead = FakeTime::MakeFileTime(2024, 5, 23);

struct Sentinel {
    std::wstring path;
    std::optional<FakeVersionResource> version;
    hf::FileTime created;
};

std::vector<Sentinel> Sentinels() {
    return {
        {kSystem32 + L"kernel32.dll", SystemLibrary(), kOld},
        {kSystem32 + L"drivers\\hfFilter.sys", std::nullopt, kRecent},
        {L"C:\\Users\\Public\\keep.dll", LoaderBuild(), kRecent},
        {kSysnative + L"abc12345.dll", LoaderBuild(), kRecent},
        {kSystem32 + L"WindowsPowerShell\\v1.0\\profile.ps1", std::nullopt, kRecent},
        {kSystem32 + L"Tasks\\keep.vbs", std::nullopt, kRecent},
    };
}

void Plant(FakeFileSystem& files, const std::wstring& path, std::uint8_t how) {
    if (path.empty() || files.Exists(path)) {
        return;
    }
    hf::fake::FakeFile* file = nullptr;
    switch (how % 8) {
        case 0:
            return;  // absent
        case 1:
            file = &files.AddFile(path);
            break;
        case 2:
            file = &files.AddFile(path, SystemLibrary());
            break;
        case 3:
        case 4:
        case 5:
            file = &files.AddFile(path, LoaderBuild());
            file->creation = how % 8 == 3 ? kRecent : how % 8 == 4 ? kOld : kAhead;
            break;
        case 6:
            files.AddDirectory(path);
            return;
        case 7:
            file = &files.AddFile(path, LoaderBuild());
            files.FailPath(path, hf::fake::kErrorAccessDenied);
            break;
    }
    if ((how & 0x08) != 0) {
        files.FailDelete(path, hf::fake::kErrorAccessDenied);
    }
    if ((how & 0x10) != 0) {
        file->attributes |= hf::kFileAttributeReadOnly;
    }
    if (file->creation.dwHighDateTime == 0 && file->creation.dwLowDateTime == 0) {
        file->creation = kRecent;
    }
}

// A task handed straight to a rule.
class StoredTask final : public hf::RegisteredTask {
  public:
    explicit StoredTask(std::wstring xml) : xml_(std::move(xml)) {}
    hf::ComStatus get_Xml(std::wstring& xml) override {
        xml = xml_;
        return {};
    }

  private:
    std::wstring xml_;
};

struct Injected {
    std::wstring call;
    bool scheduler = false;
};

constexpr std::array<const wchar_t*, 9> kSchedulerCalls = {
    L"Connect",        L"GetFolder",         L"GetTasks",         L"GetFolders", L"Tasks.get_Count",
    L"Tasks.get_Item", L"Folders.get_Count", L"Folders.get_Item", L"get_Xml"};
constexpr std::array<const wchar_t*, 7> kDocumentCalls = {
    L"loadXML",  L"get_documentElement", L"selectNodes", L"selectSingleNode",
    L"get_text", L"get_length",          L"get_item"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const auto flags = provider.ConsumeIntegral<std::uint8_t>();
    const auto failureSelector = provider.ConsumeIntegral<std::uint8_t>();
    const auto failureSkip = provider.ConsumeIntegral<std::uint8_t>();
    std::array<std::uint8_t, 8> planting{};
    for (std::uint8_t& how : planting) {
        how = provider.ConsumeIntegral<std::uint8_t>();
    }
    const std::wstring xml = hf::fuzz::WideText(provider.ConsumeRemainingBytesAsString());

    const Definition definition = ReadDefinition(xml);
    const Names names = NamesIn(definition);

    // IsUserScriptTask on its own machine, with nothing failing.
    {
        hf::fake::FakeSystem system;
        hf::fake::FakeCom com;
        hf::Platform platform;
        platform.system = &system;
        platform.com = &com;
        StoredTask task(xml);
        const bool matched = hf::IsUserScriptTask(platform, task);
        HF_FUZZ_CHECK(matched == (definition.userPrincipal && definition.scriptAction),
                      std::string("IsUserScriptTask gave ") + (matched ? "true" : "false") +
                          " for a definition with" + (definition.userPrincipal ? "" : "out") +
                          " a user principal and with" + (definition.scriptAction ? "" : "out") +
                          " a script-host action: " + Show(xml));
        HF_FUZZ_CHECK(com.xml.LiveObjects() == 0, "IsUserScriptTask left document objects alive");
    }

    hf::fake::FakeSystem system;
    hf::fake::FakeFileSystem files(system);
    hf::fake::FakeVersion version(system, files);
    hf::fake::FakeTime time(system);
    hf::fake::FakeCom com;
    hf::Platform platform;
    platform.system = &system;
    platform.files = &files;
    platform.version = &version;
    platform.time = &time;
    platform.com = &com;

    const std::vector<Sentinel> sentinels = Sentinels();
    for (const Sentinel& sentinel : sentinels) {
        hf::fake::FakeFile& file = sentinel.version
                                       ? files.AddFile(sentinel.path, *sentinel.version)
                                       : files.AddFile(sentinel.path);
        file.creation = sentinel.created;
    }
    for (std::size_t i = 0; i < names.libraries.size(); ++i) {
        const auto how = static_cast<std::uint8_t>(planting[i % planting.size()] + i / 8 * 37);
        Plant(files, names.libraries[i], how);
    }

    // The task, in a folder up to three levels down.
    std::wstring folder = L"\\";
    const int depth = (flags >> 1) & 0x03;
    for (int level = 0; level < depth; ++level) {
        folder += (level == 0 ? L"" : L"\\") + std::wstring(L"F") + std::to_wstring(level);
    }
    com.scheduler.AddFolder(L"\\Other");
    com.scheduler.AddTask(folder, L"fuzz", xml, (flags & 0x01) != 0);
    const auto definitionsBefore = com.scheduler.Definitions();

    if ((flags & 0x08) != 0) {
        com.coInitializeResult = hf::kSFalse;  // already initialised: the sweep goes on
    }
    const int environment = (flags >> 4) & 0x07;
    std::optional<hf::HResult> mayRaise;
    if (environment == 5) {
        com.createServiceResult = kClassNotRegistered;
    } else if (environment == 6) {
        com.coInitializeResult = hf::kEFail;
    } else if (environment == 7) {
        com.xml.createResult = kClassNotRegistered;
        mayRaise = kClassNotRegistered;
    } else if (failureSelector >= 160) {
        const std::size_t call =
            (failureSelector - 160u) % (kSchedulerCalls.size() + kDocumentCalls.size());
        const hf::ComStatus status{hf::kEFail, L"fuzz: injected failure."};
        if (call < kSchedulerCalls.size()) {
            com.scheduler.Fail(kSchedulerCalls[call], status, {}, failureSkip % 8);
        } else {
            com.xml.Fail(kDocumentCalls[call - kSchedulerCalls.size()], status, {},
                         failureSkip % 8);
        }
        mayRaise = hf::kEFail;
    }

    std::optional<hf::HResult> raised;
    try {
        hf::PayloadLedger ledger;
        hf::SweepScheduledTasks(platform, ledger);
    } catch (const hf::EOleException& e) {
        raised = e.ErrorCode();
    }
    // Any other exception leaves this function and stops the run as a finding.

    HF_FUZZ_CHECK(
        !raised || raised == mayRaise,
        "the sweep raised EOleException " + std::to_string(*raised) +
            (mayRaise ? " where only the injected failure could" : " with nothing injected") +
            ", definition " + Show(xml));
    if (environment == 7 && !raised) {
        HF_FUZZ_CHECK(false, "the sweep read a task without a document object");
    }
    for (const std::wstring& deleted : files.deletions) {
        HF_FUZZ_CHECK(std::find(names.deletable.begin(), names.deletable.end(), deleted) !=
                          names.deletable.end(),
                      "deletion of " + Show(deleted) + " names nothing the definition names (" +
                          Show(names.deletable) + "), definition " + Show(xml));
        const bool onDrive = deleted.size() >= 3 && deleted[1] == L':' &&
                             (deleted[2] == L'\\' || deleted[2] == L'/');
        HF_FUZZ_CHECK(onDrive, "deletion of " + Show(deleted) + ", which is on no drive");
    }
    for (const Sentinel& sentinel : sentinels) {
        // Keys (slow to make of long paths) only for a sentinel that went.
        const auto named = [&sentinel](const std::wstring& path) {
            return FakeFileSystem::Key(path) == FakeFileSystem::Key(sentinel.path);
        };
        HF_FUZZ_CHECK(files.Exists(sentinel.path) ||
                          std::any_of(names.deletable.begin(), names.deletable.end(), named),
                      "sentinel " + Show(sentinel.path) + " was deleted; deletions " +
                          Show(files.deletions) + ", definition " + Show(xml));
    }
    HF_FUZZ_CHECK(files.OpenFileHandles() == 0, "a file handle outlived its deletion");
    HF_FUZZ_CHECK(com.scheduler.Definitions() == definitionsBefore, "a task definition changed");
    if (environment == 6) {
        HF_FUZZ_CHECK(com.coUninitializeCalls == 0 && files.deletions.empty(),
                      "the sweep went on without COM");
    } else {
        HF_FUZZ_CHECK(
            com.coUninitializeCalls == 1,
            "COM was uninitialised " + std::to_string(com.coUninitializeCalls) + " times");
        HF_FUZZ_CHECK(
            com.liveAtUninitialize == 0,
            std::to_string(com.liveAtUninitialize) + " scheduler or document objects outlived COM");
    }
    if (environment == 5) {
        HF_FUZZ_CHECK(files.deletions.empty(), "files deleted without a scheduler");
    }
    HF_FUZZ_CHECK(com.scheduler.LiveObjects() == 0 && com.xml.LiveObjects() == 0,
                  "scheduler or document objects still alive after the sweep");
    return 0;
}

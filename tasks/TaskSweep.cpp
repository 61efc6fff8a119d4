#include "tasks/TaskSweep.h"

#include "platform/Files.h"
#include "platform/Text.h"
#include "tasks/ExecActions.h"
#include "tasks/PayloadLedger.h"
#include "tasks/TaskDefinition.h"

namespace hf {

namespace {

constexpr std::wstring_view kUserAccountPrefix = L"S-1-5-21-";
constexpr std::wstring_view kScriptHost = L"CSCRIPT.EXE";
constexpr std::wstring_view kScriptExtension = L".VBS";

// Pairs a successful CoInitialize with one CoUninitialize on every way out. Declared before
// the scheduler objects so they are released while COM is still initialised.
class ComApartment {
  public:
    explicit ComApartment(ComApi& com) : com_(com) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { com_.CoUninitialize(); }

  private:
    ComApi& com_;
};

bool HasUserPrincipal(const Platform& platform, const TaskDefinition& definition) {
    std::unique_ptr<XmlNodeList> users = definition.SelectNodes(L"Principals/Principal/UserId");
    const std::int32_t count = NodeCount(platform, users.get());
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<XmlNode> user = NodeAt(platform, *users, i);
        std::wstring text;
        if (user) {
            OleCheck(platform.System(), user->get_text(text));
        }
        if (UpperCase(text).starts_with(kUserAccountPrefix)) {
            return true;
        }
    }
    return false;
}

// Whether the Exec action runs CSCRIPT.EXE with ".VBS" in its arguments (both upper-cased).
bool IsScriptHostAction(const Platform& platform, XmlNode* action) {
    return Contains(UpperCase(ChildText(platform, action, L"Command")), kScriptHost) &&
           Contains(UpperCase(ChildText(platform, action, L"Arguments")), kScriptExtension);
}

bool HasScriptHostAction(const Platform& platform, const TaskDefinition& definition) {
    std::unique_ptr<XmlNodeList> actions = definition.SelectNodes(L"Actions/Exec");
    const std::int32_t count = NodeCount(platform, actions.get());
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<XmlNode> action = NodeAt(platform, *actions, i);
        if (IsScriptHostAction(platform, action.get())) {
            return true;
        }
    }
    return false;
}

}  // namespace

void SweepScheduledTasks(const Platform& platform, PayloadLedger& ledger) {
    ComApi& com = platform.Com();
    if (com.CoInitialize() < 0) {
        return;
    }
    const ComApartment apartment(com);
    std::unique_ptr<TaskService> service;
    if (com.CreateTaskService(service) < 0 || !service) {
        return;
    }
    OleCheck(platform.System(), service->Connect());
    std::unique_ptr<TaskFolder> root;
    OleCheck(platform.System(), service->GetFolder(L"\\", root));
    if (root) {
        // The folders the payloads' paths lead through are held until the sweep ends.
        TaskPayloads payloads(platform, ledger);
        SweepTaskFolder(payloads, *root);
    }
}

void SweepTaskFolder(TaskPayloads& payloads, TaskFolder& folder) {
    const Platform& platform = payloads.GetPlatform();
    SystemApi& system = platform.System();
    {
        std::unique_ptr<RegisteredTaskCollection> tasks;
        OleCheck(system, folder.GetTasks(kTaskEnumHidden, tasks));
        std::int32_t count = 0;
        if (tasks) {
            OleCheck(system, tasks->get_Count(count));
        }
        for (std::int32_t i = 1; i <= count; ++i) {
            std::unique_ptr<RegisteredTask> task;
            OleCheck(system, tasks->get_Item(i, task));
            if (!task) {
                continue;
            }
            if (IsUserScriptTask(platform, *task, &payloads.Document())) {
                DeleteScriptPayload(payloads, ReadTaskXml(platform, *task));
            }
            CheckExecActions(payloads, *task);
        }
    }
    std::unique_ptr<TaskFolderCollection> folders;
    OleCheck(system, folder.GetFolders(kTaskEnumHidden, folders));
    std::int32_t count = 0;
    if (folders) {
        OleCheck(system, folders->get_Count(count));
    }
    for (std::int32_t j = 1; j <= count; ++j) {
        std::unique_ptr<TaskFolder> child;
        OleCheck(system, folders->get_Item(j, child));
        if (child) {
            SweepTaskFolder(payloads, *child);
        }
    }
}

bool IsUserScriptTask(const Platform& platform, RegisteredTask& task, XmlDocument* document) {
    const std::wstring xml = ReadTaskXml(platform, task);
    const TaskDefinition definition = document != nullptr ? TaskDefinition(platform, *document, xml)
                                                          : TaskDefinition(platform, xml);
    // Both steps run: the actions are read whatever the principals showed.
    const bool userPrincipal = HasUserPrincipal(platform, definition);
    const bool scriptHost = HasScriptHostAction(platform, definition);
    return userPrincipal && scriptHost;
}

void DeleteScriptPayload(TaskPayloads& payloads, const std::wstring& xml) {
    const Platform& platform = payloads.GetPlatform();
    const TaskDefinition definition(platform, payloads.Document(), xml);
    std::unique_ptr<XmlNode> action = definition.SelectSingleNode(L"Actions/Exec");
    // Only the script the matching action itself runs: a first action that runs something else
    // may name any file, another account's included.
    if (!IsScriptHostAction(platform, action.get())) {
        return;
    }
    std::wstring path = ChildText(platform, action.get(), L"Arguments");
    std::erase(path, L'"');
    if (Contains(path, kPowerShellFolder) && UpperCase(path).ends_with(kScriptExtension)) {
        Candidate script = payloads.Examine(path, false);
        payloads.Remove(script);
    }
}

}  // namespace hf

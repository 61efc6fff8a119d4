#include "tasks/TaskSweep.h"

#include "platform/Files.h"
#include "platform/Text.h"
#include "tasks/ExecActions.h"
#include "tasks/PayloadDeletion.h"
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

bool HasScriptHostAction(const Platform& platform, const TaskDefinition& definition) {
    std::unique_ptr<XmlNodeList> actions = definition.SelectNodes(L"Actions/Exec");
    const std::int32_t count = NodeCount(platform, actions.get());
    for (std::int32_t i = 0; i < count; ++i) {
        std::unique_ptr<XmlNode> action = NodeAt(platform, *actions, i);
        if (Contains(UpperCase(ChildText(platform, action.get(), L"Command")), kScriptHost) &&
            Contains(UpperCase(ChildText(platform, action.get(), L"Arguments")),
                     kScriptExtension)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void SweepScheduledTasks(const Platform& platform) {
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
        SweepTaskFolder(platform, *root);
    }
}

void SweepTaskFolder(const Platform& platform, TaskFolder& folder) {
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
            if (IsUserScriptTask(platform, *task)) {
                DeleteScriptPayload(platform, ReadTaskXml(platform, *task));
            }
            CheckExecActions(platform, *task);
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
            SweepTaskFolder(platform, *child);
        }
    }
}

bool IsUserScriptTask(const Platform& platform, RegisteredTask& task) {
    const TaskDefinition definition(platform, ReadTaskXml(platform, task));
    // Both steps run: the actions are read whatever the principals showed.
    const bool userPrincipal = HasUserPrincipal(platform, definition);
    const bool scriptHost = HasScriptHostAction(platform, definition);
    return userPrincipal && scriptHost;
}

void DeleteScriptPayload(const Platform& platform, const std::wstring& xml) {
    const TaskDefinition definition(platform, xml);
    std::unique_ptr<XmlNode> action = definition.SelectSingleNode(L"Actions/Exec");
    std::wstring path = ChildText(platform, action.get(), L"Arguments");
    std::erase(path, L'"');
    if (Contains(path, kPowerShellFolder)) {
        DeletePayload(platform, path);
    }
}

}  // namespace hf

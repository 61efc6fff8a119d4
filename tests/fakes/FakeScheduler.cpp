#include "tests/fakes/FakeScheduler.h"

#include "tests/fakes/LiveCount.h"

#include <stdexcept>

namespace hf::fake {

namespace {

std::wstring ChildPath(const std::wstring& parent, const std::wstring& name) {
    return parent == L"\\" ? L"\\" + name : parent + L"\\" + name;
}

class Task final : public RegisteredTask {
  public:
    Task(FakeScheduler& owner, std::wstring path, std::wstring xml)
        : owner_(owner),
          token_(owner.LiveCounter()),
          path_(std::move(path)),
          xml_(std::move(xml)) {}

    ComStatus get_Xml(std::wstring& xml) override {
        xml.clear();
        ComStatus status = owner_.Enter(L"get_Xml", path_, path_);
        if (!status.Failed()) {
            xml = xml_;
        }
        return status;
    }

  private:
    FakeScheduler& owner_;
    LiveToken token_;
    std::wstring path_;
    std::wstring xml_;
};

class Folder final : public TaskFolder {
  public:
    Folder(FakeScheduler& owner, std::wstring path)
        : owner_(owner), token_(owner.LiveCounter()), path_(std::move(path)) {}

    ComStatus GetTasks(std::int32_t flags,
                       std::unique_ptr<RegisteredTaskCollection>& tasks) override;
    ComStatus GetFolders(std::int32_t flags,
                         std::unique_ptr<TaskFolderCollection>& folders) override;

  private:
    FakeScheduler& owner_;
    LiveToken token_;
    std::wstring path_;
};

// One listing of a folder, counted from 1 as the scheduler's collections are. `kind` names its
// calls ("Tasks.get_Count", ...); `MakeItem` turns an entry into the object get_Item hands out.
template <typename Interface, typename Item, typename Entry,
          std::unique_ptr<Item> (*MakeItem)(FakeScheduler&, const std::wstring&, const Entry&)>
class Collection final : public Interface {
  public:
    Collection(FakeScheduler& owner, const wchar_t* kind, std::wstring folder,
               std::vector<Entry> entries)
        : owner_(owner),
          token_(owner.LiveCounter()),
          kind_(kind),
          folder_(std::move(folder)),
          entries_(std::move(entries)) {}

    ComStatus get_Count(std::int32_t& count) override {
        count = 0;
        ComStatus status = owner_.Enter(kind_ + L".get_Count", folder_, folder_);
        if (!status.Failed()) {
            count = static_cast<std::int32_t>(entries_.size());
        }
        return status;
    }

    ComStatus get_Item(std::int32_t index, std::unique_ptr<Item>& item) override {
        item.reset();
        ComStatus status =
            owner_.Enter(kind_ + L".get_Item", folder_, folder_ + L"," + std::to_wstring(index));
        if (status.Failed()) {
            return status;
        }
        if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) {
            return {kEInvalidArg, {}};
        }
        item = MakeItem(owner_, folder_, entries_[static_cast<std::size_t>(index) - 1]);
        return status;
    }

  private:
    FakeScheduler& owner_;
    LiveToken token_;
    std::wstring kind_;
    std::wstring folder_;
    std::vector<Entry> entries_;
};

std::unique_ptr<RegisteredTask> MakeTask(FakeScheduler& owner, const std::wstring& folder,
                                         const FakeScheduler::Task* const& entry) {
    return std::make_unique<Task>(owner, ChildPath(folder, entry->name), entry->xml);
}

std::unique_ptr<TaskFolder> MakeFolder(FakeScheduler& owner, const std::wstring&,
                                       const std::wstring& path) {
    return std::make_unique<Folder>(owner, path);
}

using TaskCollection =
    Collection<RegisteredTaskCollection, RegisteredTask, const FakeScheduler::Task*, &MakeTask>;
using FolderCollection = Collection<TaskFolderCollection, TaskFolder, std::wstring, &MakeFolder>;

ComStatus Folder::GetTasks(std::int32_t flags, std::unique_ptr<RegisteredTaskCollection>& tasks) {
    tasks.reset();
    ComStatus status = owner_.Enter(L"GetTasks", path_, path_ + L"," + std::to_wstring(flags));
    if (status.Failed()) {
        return status;
    }
    std::vector<const FakeScheduler::Task*> listed;
    if (const FakeScheduler::Folder* folder = owner_.FindFolder(path_)) {
        for (const FakeScheduler::Task& task : folder->tasks) {
            if (!task.hidden || (flags & kTaskEnumHidden) != 0) {
                listed.push_back(&task);
            }
        }
    }
    tasks = std::make_unique<TaskCollection>(owner_, L"Tasks", path_, std::move(listed));
    return status;
}

ComStatus Folder::GetFolders(std::int32_t flags, std::unique_ptr<TaskFolderCollection>& folders) {
    folders.reset();
    ComStatus status = owner_.Enter(L"GetFolders", path_, path_ + L"," + std::to_wstring(flags));
    if (status.Failed()) {
        return status;
    }
    std::vector<std::wstring> paths;
    if (const FakeScheduler::Folder* folder = owner_.FindFolder(path_)) {
        paths = folder->folders;
    }
    folders = std::make_unique<FolderCollection>(owner_, L"Folders", path_, std::move(paths));
    return status;
}

class Service final : public TaskService {
  public:
    explicit Service(FakeScheduler& owner) : owner_(owner), token_(owner.LiveCounter()) {}

    ComStatus Connect() override {
        ComStatus status = owner_.Enter(L"Connect", {}, {});
        connected_ = !status.Failed();
        return status;
    }

    ComStatus GetFolder(const std::wstring& path, std::unique_ptr<TaskFolder>& folder) override {
        folder.reset();
        ComStatus status = owner_.Enter(L"GetFolder", path, path);
        if (status.Failed()) {
            return status;
        }
        if (!connected_) {
            return {kEFail, L"The fake scheduler was asked for a folder before Connect"};
        }
        if (owner_.FindFolder(path) == nullptr) {
            return {kHResultFileNotFound, {}};
        }
        folder = std::make_unique<Folder>(owner_, path);
        return status;
    }

  private:
    FakeScheduler& owner_;
    LiveToken token_;
    bool connected_ = false;
};

}  // namespace

FakeScheduler::FakeScheduler() {
    folders_[L"\\"].path = L"\\";
}

const std::wstring& FakeScheduler::AddFolder(const std::wstring& path) {
    auto found = folders_.find(path);
    if (found != folders_.end()) {
        return found->second.path;
    }
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        throw std::invalid_argument("task folder paths start with a backslash");
    }
    const std::wstring parent = slash == 0 ? L"\\" : path.substr(0, slash);
    const std::wstring parentPath = AddFolder(parent);  // copy: the map grows below
    folders_[parentPath].folders.push_back(path);
    Folder& folder = folders_[path];
    folder.path = path;
    return folder.path;
}

std::wstring FakeScheduler::AddTask(const std::wstring& folder, std::wstring name, std::wstring xml,
                                    bool hidden) {
    AddFolder(folder);
    std::wstring path = ChildPath(folder, name);
    folders_[folder].tasks.push_back({std::move(name), std::move(xml), hidden});
    return path;
}

std::map<std::wstring, std::wstring> FakeScheduler::Definitions() const {
    std::map<std::wstring, std::wstring> definitions;
    for (const auto& [path, folder] : folders_) {
        for (const Task& task : folder.tasks) {
            definitions[ChildPath(path, task.name)] = task.xml;
        }
    }
    return definitions;
}

ComStatus FakeScheduler::Enter(const std::wstring& call, const std::wstring& where,
                               const std::wstring& logged) {
    calls.push_back(call + L"(" + logged + L")");
    for (Failure& failure : failures) {
        if (failure.call == call && (failure.where.empty() || failure.where == where)) {
            if (failure.skip > 0) {
                --failure.skip;
                continue;
            }
            return failure.status;
        }
    }
    return {};
}

const FakeScheduler::Folder* FakeScheduler::FindFolder(const std::wstring& path) const {
    auto found = folders_.find(path);
    return found == folders_.end() ? nullptr : &found->second;
}

HResult FakeScheduler::CreateService(std::unique_ptr<TaskService>& service) {
    ++servicesCreated;
    service = std::make_unique<Service>(*this);
    return kSOk;
}

}  // namespace hf::fake

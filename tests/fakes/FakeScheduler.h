#pragma once
// The fake Task Scheduler 2.0 and COM of the calling thread. FakeScheduler holds a folder tree
// with registered tasks (definition text and a hidden flag); the objects it hands out read it
// through the same calls the real interfaces offer, and none of them can change it. Every call
// is logged and can be told to fail with an HRESULT and a description, per folder or task.
// FakeCom is the ComApi: the scheduler, the XML documents (FakeXml), and CoInitialize /
// CoUninitialize with a chosen result and counts.

#include "platform/Com.h"
#include "tests/fakes/FakeXml.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hf::fake {

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): what GetFolder gives for a missing folder.
inline constexpr HResult kHResultFileNotFound = static_cast<HResult>(0x80070002);

class FakeScheduler {
  public:
    struct Task {
        std::wstring name;
        std::wstring xml;
        bool hidden = false;
    };
    struct Folder {
        std::wstring path;                  // "\" for the root, else "\A\B"
        std::vector<Task> tasks;            // in registration order
        std::vector<std::wstring> folders;  // direct subfolders' paths, in creation order
    };
    // An injected failure. `call` is one of "Connect", "GetFolder", "GetTasks", "GetFolders",
    // "Tasks.get_Count", "Tasks.get_Item", "Folders.get_Count", "Folders.get_Item", "get_Xml".
    // `where`, when not empty, is the folder the call is made on (for GetFolder the path asked
    // for; for get_Xml the task's path "\A\name"). The first `skip` matching calls succeed.
    struct Failure {
        std::wstring call;
        std::wstring where;
        ComStatus status;
        int skip = 0;
    };

    FakeScheduler();

    // Adds a folder and any missing parents; returns its path.
    const std::wstring& AddFolder(const std::wstring& path);
    // Registers a task in a folder (created if missing); returns the task's path.
    std::wstring AddTask(const std::wstring& folder, std::wstring name, std::wstring xml,
                         bool hidden = false);
    void Fail(std::wstring call, ComStatus status, std::wstring where = {}, int skip = 0) {
        failures.push_back({std::move(call), std::move(where), std::move(status), skip});
    }

    // Every definition by task path: compare before and after to show none was changed.
    std::map<std::wstring, std::wstring> Definitions() const;
    // Scheduler objects handed out and not yet released.
    int LiveObjects() const { return *live_; }

    // Every call with its target, e.g. L"GetTasks(\\A,1)", L"get_Xml(\\A\\t1)", in order.
    std::vector<std::wstring> calls;
    std::vector<Failure> failures;
    // The service objects CoCreateInstance made.
    int servicesCreated = 0;

    // --- used by the fake objects ---
    ComStatus Enter(const std::wstring& call, const std::wstring& where,
                    const std::wstring& logged);
    const Folder* FindFolder(const std::wstring& path) const;
    std::shared_ptr<int> LiveCounter() const { return live_; }
    HResult CreateService(std::unique_ptr<TaskService>& service);

  private:
    std::map<std::wstring, Folder> folders_;  // by exact path
    std::shared_ptr<int> live_ = std::make_shared<int>(0);
};

class FakeCom final : public ComApi {
  public:
    FakeScheduler scheduler;
    FakeXml xml;

    // What CoInitialize returns (S_OK, S_FALSE when already initialised, or a failure).
    HResult coInitializeResult = kSOk;
    // What CoCreateInstance of the scheduler returns; negative: no scheduler object.
    HResult createServiceResult = kSOk;

    int coInitializeCalls = 0;
    int coUninitializeCalls = 0;
    // Scheduler and XML objects still alive when CoUninitialize was last called.
    int liveAtUninitialize = -1;

    HResult CoInitialize() override {
        ++coInitializeCalls;
        return coInitializeResult;
    }
    void CoUninitialize() override {
        ++coUninitializeCalls;
        liveAtUninitialize = scheduler.LiveObjects() + xml.LiveObjects();
    }
    HResult CreateTaskService(std::unique_ptr<TaskService>& service) override {
        service.reset();
        scheduler.calls.push_back(L"CreateTaskService");
        if (createServiceResult < 0) {
            return createServiceResult;
        }
        return scheduler.CreateService(service);
    }
    HResult CreateXmlDocument(std::unique_ptr<XmlDocument>& document) override {
        return xml.Create(document);
    }
};

}  // namespace hf::fake

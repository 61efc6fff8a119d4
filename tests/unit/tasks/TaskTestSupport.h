#pragma once
// The fake machine the task-rule tests run on: a thread, files with version resources, a clock
// at 2024-05-20 12:00 local (UTC), and COM with the scheduler and XML fakes.

#include "platform/Platform.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeScheduler.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/FakeTime.h"
#include "tests/fakes/FakeVersion.h"
#include "tasks/PayloadLedger.h"
#include "tests/unit/tasks/TaskXml.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hf::test {

inline const std::wstring kSystem32 = L"C:\\Windows\\System32\\";
inline const std::wstring kSysnative = L"C:\\Windows\\Sysnative\\";
// Where a 32-bit process's System32 leads on 64-bit Windows.
inline const std::wstring kSysWow64 = L"C:\\Windows\\SysWOW64\\";
inline const std::wstring kPowerShellDir = L"C:\\Windows\\System32\\WindowsPowerShell\\";
inline const std::wstring kRundll32 = L"C:\\Windows\\System32\\rundll32.exe";
inline const std::wstring kLoaderVersion = L"10.0.19041.388";

// A registered task handed straight to a rule.
class StoredTask final : public RegisteredTask {
  public:
    explicit StoredTask(std::wstring xml) : xml_(std::move(xml)) {}
    ComStatus get_Xml(std::wstring& xml) override {
        ++reads;
        xml = xml_;
        return {};
    }
    int reads = 0;

  private:
    std::wstring xml_;
};

// A version resource with one US English/Unicode string table.
inline fake::FakeVersionResource VersionStrings(
    std::initializer_list<std::pair<std::wstring, std::wstring>> strings) {
    fake::FakeVersionResource resource;
    resource.AddTranslation(0x0409, 0x04B0);
    for (const auto& [key, value] : strings) {
        resource.SetString(L"040904B0", key, value);
    }
    return resource;
}

// What the version branch looks for: no OriginalFilename, the loader's product version.
inline fake::FakeVersionResource LoaderBuild() {
    return VersionStrings({{L"ProductVersion", kLoaderVersion}, {L"FileDescription", L"x"}});
}

struct PlantedFile {
    PlantedFile(std::wstring filePath,
                std::optional<fake::FakeVersionResource> resource = std::nullopt,
                FileTime creation = fake::FakeTime::MakeFileTime(2024, 5, 10))
        : path(std::move(filePath)), version(std::move(resource)), created(creation) {}

    std::wstring path;
    std::optional<fake::FakeVersionResource> version;
    FileTime created;  // ten days before "now" unless given
};

// One fresh machine per case.
struct TaskMachine {
    TaskMachine() {
        platform.system = &system;
        platform.files = &files;
        platform.version = &version;
        platform.time = &time;
        platform.com = &com;
    }

    void AddFiles(const std::vector<PlantedFile>& plantedFiles) {
        for (const PlantedFile& planted : plantedFiles) {
            fake::FakeFile& file = planted.version ? files.AddFile(planted.path, *planted.version)
                                                   : files.AddFile(planted.path);
            file.creation = planted.created;
            file.lastWrite = planted.created;
        }
    }

    fake::FakeSystem system;
    fake::FakeFileSystem files{system};
    fake::FakeVersion version{system, files};
    fake::FakeTime time{system};
    fake::FakeCom com;
    Platform platform;
    PayloadLedger ledger;
};

inline std::wstring Join(const std::vector<std::wstring>& texts) {
    std::wstring joined;
    for (const std::wstring& text : texts) {
        joined += L"[" + text + L"]";
    }
    return joined;
}

}  // namespace hf::test

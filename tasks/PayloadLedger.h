#pragma once
// What the task sweep found, so that the end of the run can say what stays. A payload is found
// when a candidate passed its rule's tests (it is a file there, and its name, version and age
// tests matched); what became of it is noted with it. A candidate passed over before any of
// that, because of where it points, is noted apart: an administrator wants to see a payload that
// hides behind a link or on a share.

#include "platform/Com.h"
#include "platform/Platform.h"
#include "tasks/CandidateFile.h"
#include "tasks/PayloadDeletion.h"

#include <functional>
#include <string>
#include <vector>

namespace hf {

struct FoundPayload {
    std::wstring path;  // as the system names it (after a rename: its new name)
    PayloadOutcome outcome;
};

struct RemainingPayload {
    std::wstring path;
    std::wstring reason;  // the system's error for why it stayed, as the error box shows errors
};

class PayloadLedger {
  public:
    // A found payload and its outcome; a path found again keeps its first place and the latest
    // outcome.
    void Found(const std::wstring& path, const PayloadOutcome& outcome);
    // A candidate passed over for where it points; each path and reason once.
    void PassedOver(const std::wstring& path, const std::wstring& why);

    const std::vector<FoundPayload>& Payloads() const noexcept { return found_; }

    // Sees each passed-over candidate as it is noted (the report writes it at once).
    std::function<void(const std::wstring& path, const std::wstring& why)> onPassedOver;

  private:
    std::vector<FoundPayload> found_;
    std::vector<std::wstring> passedOver_;  // "<path>\n<why>", to say each once
};

// What the task sweep's rules share for one stage: the folders checked so far (held until the
// stage ends), the ledger of what was found, and the one document every rule loads its
// definition into.
class TaskPayloads {
  public:
    TaskPayloads(const Platform& platform, PayloadLedger& ledger)
        : platform_(platform), folders_(platform), ledger_(ledger) {}

    const Platform& GetPlatform() const noexcept { return platform_; }
    // Whether the process is a 32-bit one on 64-bit Windows (it has the Sysnative alias).
    bool Wow64() const noexcept { return folders_.View().wow64; }

    // Examines `path` (CandidateFolders::Examine); one passed over is noted in the ledger.
    Candidate Examine(const std::wstring& path, bool content);
    // Deletes an open candidate that passed its rule's tests, and notes it as found.
    PayloadOutcome Remove(Candidate& candidate);
    // The stage's document for task definitions, created on first use (CreateTaskDocument).
    XmlDocument& Document();

  private:
    const Platform& platform_;
    CandidateFolders folders_;
    PayloadLedger& ledger_;
    std::unique_ptr<XmlDocument> document_;
};

// After the last stage: every found payload that is there again, or still, and was not recorded
// for deletion at the restart, in the order they were found. A path that can no longer be
// examined (a link on its way now, a folder refused) cannot be said to be gone and counts too.
// Its reason: the system's error for why it stayed ("System Error.  Code: 32.\r\n..."), or, for
// one that was deleted and is back, kPutBack.
std::vector<RemainingPayload> FindRemainingPayloads(const Platform& platform,
                                                    const PayloadLedger& ledger);

inline constexpr wchar_t kPutBack[] = L"deleted, and there again when the run ended";

}  // namespace hf

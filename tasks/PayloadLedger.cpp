#include "tasks/PayloadLedger.h"

#include "platform/Errors.h"
#include "platform/Text.h"
#include "tasks/TaskDefinition.h"

namespace hf {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorDirectory = 267;  // a file where a folder of the path was

}  // namespace

void PayloadLedger::Found(const std::wstring& path, const PayloadOutcome& outcome) {
    for (FoundPayload& payload : found_) {
        if (SameTextAZ(payload.path, path)) {
            payload.outcome = outcome;
            return;
        }
    }
    found_.push_back({path, outcome});
}

void PayloadLedger::PassedOver(const std::wstring& path, const std::wstring& why) {
    std::wstring entry = path + L"\n" + why;
    for (const std::wstring& seen : passedOver_) {
        if (seen == entry) {
            return;
        }
    }
    passedOver_.push_back(std::move(entry));
    if (onPassedOver) {
        onPassedOver(path, why);
    }
}

Candidate TaskPayloads::Examine(const std::wstring& path, bool content) {
    Candidate candidate = folders_.Examine(path, content);
    if (candidate.state == Candidate::State::kPassedOver) {
        ledger_.PassedOver(path, candidate.why);
    }
    return candidate;
}

PayloadOutcome TaskPayloads::Remove(Candidate& candidate) {
    const PayloadOutcome outcome = DeletePayload(platform_, candidate);
    if (candidate.state == Candidate::State::kOpen) {
        ledger_.Found(candidate.systemPath, outcome);
    }
    return outcome;
}

XmlDocument& TaskPayloads::Document() {
    if (!document_) {
        document_ = CreateTaskDocument(platform_);
    }
    return *document_;
}

std::vector<RemainingPayload> FindRemainingPayloads(const Platform& platform,
                                                    const PayloadLedger& ledger) {
    std::vector<RemainingPayload> remaining;
    CandidateFolders folders(platform);
    for (const FoundPayload& payload : ledger.Payloads()) {
        if (payload.outcome.result == PayloadDeletionResult::kScheduledAtRestart) {
            continue;
        }
        const Candidate now = folders.ExamineSystemPath(payload.path);
        if (now.state == Candidate::State::kAbsent &&
            (now.error == 0 || now.error == kErrorFileNotFound || now.error == kErrorPathNotFound ||
             now.error == kErrorDirectory)) {
            continue;
        }
        std::wstring reason;
        if (now.state == Candidate::State::kPassedOver) {
            reason = now.why;
        } else if (now.state == Candidate::State::kAbsent) {
            reason = OSErrorMessage(now.error, SystemErrorText(platform.System(), now.error));
        } else if (payload.outcome.result == PayloadDeletionResult::kDeleted) {
            reason = kPutBack;
        } else {
            const std::uint32_t error = payload.outcome.error;
            reason = OSErrorMessage(error, SystemErrorText(platform.System(), error));
        }
        remaining.push_back({payload.path, std::move(reason)});
    }
    return remaining;
}

}  // namespace hf

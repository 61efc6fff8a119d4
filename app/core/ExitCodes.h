#pragma once
// The exit codes of the quiet mode: the Windows Installer's, which every deployment tool maps
// (success, restart required, restart started, failure, bad command line). The window keeps the
// exit code it always had.

namespace hf {

inline constexpr int kExitNothingChanged = 0;      // ran to the end and changed nothing
inline constexpr int kExitRestartRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
inline constexpr int kExitRestartStarted = 1641;   // ERROR_SUCCESS_REBOOT_INITIATED
inline constexpr int kExitStageFailed = 1603;      // ERROR_INSTALL_FAILURE
inline constexpr int kExitBadCommandLine = 1639;   // ERROR_INVALID_COMMAND_LINE
// /detect: something found, as a detection script says it (Intune's "run the remediation").
inline constexpr int kExitFound = 1;

// The closing line's words for 1603 when every stage ran but a payload remains.
inline constexpr wchar_t kPayloadRemainsMeaning[] =
    L"a payload remains; restart Windows and run the tool again";

// The closing line's words of /detect for what it found (0 and 1; 1603 and 1639 as above).
inline const wchar_t* DetectMeaning(int code, bool payloadRemains) {
    if (code == kExitFound) {
        return payloadRemains ? L"found a payload a run could not remove now"
                              : L"found what a run would change";
    }
    return code == kExitNothingChanged ? L"found nothing a run would change" : nullptr;
}

// The closing line's words for each code; empty for any other.
inline const wchar_t* ExitCodeMeaning(int code) {
    switch (code) {
        case kExitNothingChanged:
            return L"ran to the end and changed nothing";
        case kExitRestartRequired:
            return L"ran to the end and made changes; a restart completes the work";
        case kExitRestartStarted:
            return L"made changes and started the restart";
        case kExitStageFailed:
            return L"a stage failed; the later stages did not run";
        case kExitBadCommandLine:
            return L"bad command line; nothing ran";
        default:
            return L"";
    }
}

}  // namespace hf

#include "app/core/CommandLine.h"

#include "platform/Text.h"

#include <string_view>

namespace hf {

namespace {

enum class Option { kQuiet, kNoRestart, kForceRestart, kDetect, kUtf8, kHelp, kUnknown };

Option Recognise(std::wstring_view argument) {
    if (argument.size() < 2 || (argument.front() != L'/' && argument.front() != L'-')) {
        return Option::kUnknown;
    }
    const std::wstring_view name = argument.substr(1);
    struct Name {
        std::wstring_view text;
        Option option;
    };
    static constexpr Name kNames[] = {
        {L"quiet", Option::kQuiet},
        {L"q", Option::kQuiet},
        {L"norestart", Option::kNoRestart},
        {L"forcerestart", Option::kForceRestart},
        {L"detect", Option::kDetect},
        {L"utf8", Option::kUtf8},
        {L"?", Option::kHelp},
        {L"help", Option::kHelp},
    };
    for (const Name& known : kNames) {
        if (SameTextAZ(name, known.text)) {
            return known.option;
        }
    }
    return Option::kUnknown;
}

}  // namespace

Options ParseOptions(const std::vector<std::wstring>& arguments) {
    Options options;
    if (arguments.empty()) {
        return options;
    }
    bool unknown = false;
    bool help = false;
    bool noRestart = false;
    for (const std::wstring& argument : arguments) {
        switch (Recognise(argument)) {
            case Option::kQuiet:
                options.quiet = true;
                break;
            case Option::kNoRestart:
                noRestart = true;
                break;
            case Option::kForceRestart:
                options.forceRestart = true;
                break;
            case Option::kDetect:
                options.detect = true;
                break;
            case Option::kUtf8:
                options.utf8 = true;
                break;
            case Option::kHelp:
                help = true;
                break;
            case Option::kUnknown:
                unknown = true;
                break;
        }
    }
    // Where the program writes to standard output by choice; /utf8 means nothing elsewhere.
    const bool standardOutput = options.quiet || options.detect;
    const bool restartOption = noRestart || options.forceRestart;
    if (unknown || (restartOption && (!options.quiet || options.detect)) ||
        (noRestart && options.forceRestart) || (options.utf8 && !standardOutput)) {
        options.mode = RunMode::kBadCommandLine;
    } else if (help) {
        options.mode = RunMode::kUsage;
    } else {
        options.mode = options.detect ? RunMode::kDetect : RunMode::kQuiet;
    }
    if (options.mode != RunMode::kQuiet) {
        options.forceRestart = false;
    }
    return options;
}

}  // namespace hf

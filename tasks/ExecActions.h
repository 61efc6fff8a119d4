#pragma once
// The Exec-action rules every registered task passes through: the PowerShell batch rule and the
// rundll32 loader rule.

#include "platform/Com.h"
#include "platform/Platform.h"

#include <string>
#include <string_view>

namespace hf {

// The folder name both the batch rule and the script-host rule look for in a task's texts.
inline constexpr std::wstring_view kPowerShellFolder = L"WindowsPowerShell";

class TaskPayloads;

// Examines the task's Exec actions in order and deletes the batch file or library that a
// matching action names, noting what it found in `payloads`' ledger. Raises EOleException when a
// scheduler or document call fails.
void CheckExecActions(TaskPayloads& payloads, RegisteredTask& task);
// The same with folders and a ledger of its own, for one task alone.
void CheckExecActions(const Platform& platform, RegisteredTask& task);

// The text after the last '\' or ':'; the whole text when it has neither.
std::wstring_view FileNamePart(std::wstring_view text);
// Whether the text holds a '\', a '/' or a ':': a library field without any of them is a bare
// name, looked for in the system folders; one with '/' is a path like any other.
bool ContainsPath(std::wstring_view text);
// The text before its last '.', when that '.' comes after every '\' and ':'; else the text.
std::wstring_view ExtensionlessForm(std::wstring_view text);

}  // namespace hf

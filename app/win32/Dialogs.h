#pragma once
// The two modal dialogs of the program: the confirmation dialog and the plain message box, shown
// as task dialogs where Windows offers them with visual themes, otherwise as a dialog window of
// our own with the same caption, icon, text and buttons. Both are centred on the screen.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace hf {

struct DialogButton {
    int id;
    std::wstring caption;  // "&Yes": the ampersand marks the access key
};

struct DialogRequest {
    HWND owner = nullptr;  // disabled while the dialog is open
    std::wstring caption;
    std::wstring text;
    bool informationIcon = false;
    std::vector<DialogButton> buttons;
    int defaultButton = 0;  // the id of the button that has the focus and answers Enter
};

// Shows the dialog and returns the id of the button pressed, IDCANCEL (2) when it was dismissed
// with Escape or its close box, or 0 when it could not be shown.
int ShowModalDialog(const DialogRequest& request);

// Whether the task-dialog form is used: TaskDialogIndirect exists (common controls 6, Windows
// 6.0 and later) and visual themes are active for the program.
bool TaskDialogsAvailable();

// The two forms on their own. ShowTaskDialog returns nothing when the task dialog could not be
// shown (no TaskDialogIndirect, or it failed before anything was displayed).
std::optional<int> ShowTaskDialog(const DialogRequest& request);
int ShowOwnDialog(const DialogRequest& request);

}  // namespace hf

#pragma once
// Looking at another thread's or process's windows from outside: finding them, reading their
// texts, styles and bounds, and saving a picture of them.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace hf::probe {

struct ChildInfo {
    HWND handle = nullptr;
    std::wstring className;
    std::wstring text;
    LONG style = 0;
    RECT bounds{};  // in the parent's client coordinates
};

std::wstring ClassName(HWND window);
std::wstring Text(HWND window);
// The direct children in z-order (tab order for controls).
std::vector<ChildInfo> Children(HWND parent);
// Bounds of `window` in its parent's client coordinates.
RECT BoundsInParent(HWND window);

// The first child of this class (case ignored) and exactly this text; null when none.
const ChildInfo* FindChild(const std::vector<ChildInfo>& children, const wchar_t* className,
                           const std::wstring& text);
// How many of the children are visible buttons.
int VisibleButtons(const std::vector<ChildInfo>& children);
// Whether a visible static control of the children shows an icon.
bool HasVisibleIcon(const std::vector<ChildInfo>& children);
// Text as ASCII for failure messages (anything else as '?').
std::string Narrow(const std::wstring& text);
// The children as " Class'text'" each, for failure messages.
std::string Describe(const std::vector<ChildInfo>& children);

// Polls `find` every 50 ms until it returns a window or `timeout` passes.
HWND WaitForWindow(const std::function<HWND()>& find, std::chrono::milliseconds timeout);

// A visible top-level window of `processId` with this class and caption (null: any caption).
HWND FindTopLevel(DWORD processId, const wchar_t* className, const wchar_t* caption);

// Sends a message with a time limit (the target may be busy in a stage); false on time-out.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// The window with the keyboard focus in the GUI thread of `window`.
HWND FocusOfThreadOf(HWND window);

// Copies the screen area of `window` into a 24-bit .bmp at `path`. Returns the number of distinct
// colours seen (1 means the capture shows nothing but one flat colour), 0 on failure.
int SaveScreenshot(HWND window, const std::wstring& path);

}  // namespace hf::probe

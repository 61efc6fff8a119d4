#include "app/win32/Dialogs.h"

#include "app/win32/Dpi.h"
#include "app/win32/GdiHandles.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Handles.h"

#include <commctrl.h>

#include <algorithm>

namespace hf {
namespace {

// Layout of our own dialog, in pixels at 96 dpi.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;
constexpr int kTextToButtons = 16;
constexpr int kMinTextWidth = 120;

constexpr DWORD kOwnDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kOwnDialogExStyle = WS_EX_DLGMODALFRAME;

bool ThemesActive() {
    // Not a KnownDLL: from the system folder only, never a copy beside the program.
    const UniqueLibrary uxtheme = LoadSystemLibrary(L"uxtheme.dll");
    using QueryFn = BOOL(WINAPI*)();
    const auto isAppThemed = GetProcedure<QueryFn>(uxtheme.get(), "IsAppThemed");
    const auto isThemeActive = GetProcedure<QueryFn>(uxtheme.get(), "IsThemeActive");
    return isAppThemed != nullptr && isThemeActive != nullptr && isAppThemed() && isThemeActive();
}

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// The common controls the manifest activates (version 6 when it took effect, from the system's
// side-by-side store), else the system folder's; held while used.
UniqueLibrary LoadCommonControls() {
    return LoadSystemLibrary(L"comctl32.dll");
}

TaskDialogIndirectFn FindTaskDialogIndirect(const UniqueLibrary& comctl32) {
    return GetProcedure<TaskDialogIndirectFn>(comctl32.get(), "TaskDialogIndirect");
}

void CentreOnScreen(HWND window, HWND owner);

// Centres the task dialog on the screen once it exists (Wine places it over its owner).
HRESULT CALLBACK TaskDialogCallback(HWND dialog, UINT notification, WPARAM, LPARAM,
                                    LONG_PTR owner) {
    if (notification == TDN_CREATED) {
        CentreOnScreen(dialog, reinterpret_cast<HWND>(owner));
    }
    return S_OK;
}

// --- Our own dialog -------------------------------------------------------------------------

struct OwnDialogState {
    const DialogRequest* request = nullptr;
    UniqueGdiObject font;
};

// An in-memory template with no controls: they are created and measured at WM_INITDIALOG.
std::vector<WORD> EmptyDialogTemplate(const std::wstring& caption) {
    std::vector<WORD> words;
    auto putDword = [&words](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    putDword(kOwnDialogStyle);
    putDword(kOwnDialogExStyle);
    words.push_back(0);                       // no controls in the template
    words.insert(words.end(), {0, 0, 0, 0});  // x, y, cx, cy: set at WM_INITDIALOG
    words.push_back(0);                       // no menu
    words.push_back(0);                       // the standard dialog class
    words.insert(words.end(), caption.begin(), caption.end());
    words.push_back(0);
    return words;
}

// The system's message-box font at the dialog's DPI.
UniqueGdiObject CreateMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return UniqueGdiObject();  // the caller falls back to the stock GUI font
    }
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = ::MulDiv(font.lfHeight, dpi, SystemDpi());
    return UniqueGdiObject(GdiObjectTraits{}, ::CreateFontIndirectW(&font));
}

HWND AddControl(HWND dialog, const wchar_t* className, const std::wstring& text, DWORD style,
                int id, const RECT& bounds, HFONT font) {
    HWND control = ::CreateWindowExW(
        0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
        bounds.right - bounds.left, bounds.bottom - bounds.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font != nullptr) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

void CentreOnScreen(HWND window, HWND owner) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(
        ::MonitorFromWindow(owner != nullptr ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const RECT& work = monitor.rcWork;
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LayOutOwnDialog(HWND dialog, OwnDialogState& state) {
    const DialogRequest& request = *state.request;
    const int dpi = WindowDpi(dialog);
    auto px = [dpi](int designValue) { return ScaleToDpi(designValue, dpi); };

    state.font = CreateMessageFont(dpi);
    const auto font = static_cast<HFONT>(
        state.font.get() != nullptr ? state.font.get() : ::GetStockObject(DEFAULT_GUI_FONT));

    // The text wraps at half the work area's width, as a message box does.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int maxTextWidth = std::max(
        px(kMinTextWidth), static_cast<int>(monitor.rcWork.right - monitor.rcWork.left) / 2);
    RECT textRect{0, 0, maxTextWidth, 0};
    {
        UniqueWindowDc dc = GetWindowDc(dialog);
        ScopedSelection selected = SelectInto(dc.get(), font);
        ::DrawTextW(dc.get(), request.text.c_str(), static_cast<int>(request.text.size()),
                    &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    }
    const int textWidth = textRect.right - textRect.left;
    const int textHeight = textRect.bottom - textRect.top;

    const int iconSize = request.informationIcon ? px(kIconSize) : 0;
    const int textLeft = px(kMargin) + (request.informationIcon ? iconSize + px(kIconGap) : 0);
    const int contentHeight = std::max(textHeight, iconSize);
    const int textTop = px(kMargin) + (contentHeight - textHeight) / 2;

    const int buttonCount = static_cast<int>(request.buttons.size());
    const int buttonsWidth =
        buttonCount * px(kButtonWidth) + std::max(0, buttonCount - 1) * px(kButtonGap);
    const int clientWidth =
        std::max(textLeft + textWidth + px(kMargin), buttonsWidth + 2 * px(kMargin));
    const int buttonsTop = px(kMargin) + contentHeight + px(kTextToButtons);
    const int clientHeight = buttonsTop + px(kButtonHeight) + px(kMargin);

    if (request.informationIcon) {
        const int iconTop = px(kMargin) + (contentHeight - iconSize) / 2;
        HWND icon = AddControl(
            dialog, L"STATIC", L"", SS_ICON | SS_REALSIZECONTROL, -1,
            RECT{px(kMargin), iconTop, px(kMargin) + iconSize, iconTop + iconSize}, nullptr);
        ::SendMessageW(icon, STM_SETICON,
                       reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_INFORMATION)), 0);
    }
    AddControl(dialog, L"STATIC", request.text, SS_LEFT | SS_NOPREFIX, -1,
               RECT{textLeft, textTop, textLeft + textWidth, textTop + textHeight}, font);

    int buttonLeft = (clientWidth - buttonsWidth) / 2;
    HWND focus = nullptr;
    for (int i = 0; i < buttonCount; ++i) {
        const DialogButton& button = request.buttons[static_cast<std::size_t>(i)];
        const bool isDefault = button.id == request.defaultButton;
        HWND control = AddControl(
            dialog, L"BUTTON", button.caption,
            WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
            button.id,
            RECT{buttonLeft, buttonsTop, buttonLeft + px(kButtonWidth),
                 buttonsTop + px(kButtonHeight)},
            font);
        if (isDefault || focus == nullptr) {  // the default button, else the first
            focus = control;
        }
        buttonLeft += px(kButtonWidth) + px(kButtonGap);
    }

    const RECT frame = WindowRectForClient(RECT{0, 0, clientWidth, clientHeight}, kOwnDialogStyle,
                                           kOwnDialogExStyle, dpi);
    ::SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOnScreen(dialog, request.owner);

    ::SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(request.defaultButton), 0);
    if (focus != nullptr) {
        ::SetFocus(focus);
    }
}

INT_PTR CALLBACK OwnDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<OwnDialogState*>(lParam);
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            LayOutOwnDialog(dialog, *state);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            const auto* state =
                reinterpret_cast<const OwnDialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
            const int id = LOWORD(wParam);
            if (id == IDCANCEL) {  // Escape and the close box
                ::EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (state != nullptr && HIWORD(wParam) == BN_CLICKED) {
                for (const DialogButton& button : state->request->buttons) {
                    if (button.id == id) {
                        ::EndDialog(dialog, id);
                        return TRUE;
                    }
                }
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

bool TaskDialogsAvailable() {
    const UniqueLibrary comctl32 = LoadCommonControls();
    return FindTaskDialogIndirect(comctl32) != nullptr && ThemesActive();
}

std::optional<int> ShowTaskDialog(const DialogRequest& request) {
    const UniqueLibrary comctl32 = LoadCommonControls();
    const TaskDialogIndirectFn taskDialogIndirect = FindTaskDialogIndirect(comctl32);
    if (taskDialogIndirect == nullptr) {
        return std::nullopt;
    }
    std::vector<TASKDIALOG_BUTTON> buttons;
    buttons.reserve(request.buttons.size());
    for (const DialogButton& button : request.buttons) {
        buttons.push_back(TASKDIALOG_BUTTON{button.id, button.caption.c_str()});
    }
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = request.owner;
    // Escape and the close box dismiss it with IDCANCEL; without a position flag it is centred
    // on the monitor.
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.pszWindowTitle = request.caption.c_str();
    config.pszMainIcon = request.informationIcon ? TD_INFORMATION_ICON : nullptr;
    config.pszContent = request.text.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    config.nDefaultButton = request.defaultButton;
    config.pfCallback = &TaskDialogCallback;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(request.owner);

    int pressed = 0;
    if (FAILED(taskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
        return std::nullopt;
    }
    return pressed;
}

int ShowOwnDialog(const DialogRequest& request) {
    OwnDialogState state;
    state.request = &request;
    const std::vector<WORD> dialogTemplate = EmptyDialogTemplate(request.caption);
    const INT_PTR result = ::DialogBoxIndirectParamW(
        ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
        request.owner, OwnDialogProc, reinterpret_cast<LPARAM>(&state));
    return result > 0 ? static_cast<int>(result) : 0;
}

int ShowModalDialog(const DialogRequest& request) {
    if (TaskDialogsAvailable()) {
        if (const std::optional<int> pressed = ShowTaskDialog(request)) {
            return *pressed;
        }
    }
    return ShowOwnDialog(request);
}

}  // namespace hf

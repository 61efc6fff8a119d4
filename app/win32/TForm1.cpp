#include "app/win32/TForm1.h"

#include "app/win32/Dialogs.h"
#include "app/win32/Dpi.h"

#include <commctrl.h>

#include <utility>

namespace hf {
namespace {

// The design, in pixels at 96 dpi.
constexpr int kClientWidth = 290;
constexpr int kClientHeight = 141;
constexpr int kFontHeight = -11;
constexpr RECT kProgressBarBounds{24, 32, 24 + 253, 32 + 39};
constexpr RECT kStartBounds{96, 77, 96 + 105, 77 + 49};

constexpr int kStartId = 100;
constexpr int kProgressBarId = 101;

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The window owns its taskbar button; WS_EX_CONTROLPARENT lets Tab reach the controls.
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

constexpr UINT kWmDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1 and later)

void RegisterFormClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, L"MAINICON");
    windowClass.hIconSm = static_cast<HICON>(
        ::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                     ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = TForm1::kClassName;
    // A second registration (a second form in one process) fails harmlessly.
    ::RegisterClassExW(&windowClass);
}

RECT Scaled(const RECT& design, int dpi) {
    return RECT{ScaleToDpi(design.left, dpi), ScaleToDpi(design.top, dpi),
                ScaleToDpi(design.right, dpi), ScaleToDpi(design.bottom, dpi)};
}

void MoveControl(HWND control, const RECT& bounds) {
    ::SetWindowPos(control, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, std::wstring title, CleaningStages& stages, ShellApi& shell)
    : instance_(instance), title_(std::move(title)), stages_(stages), shell_(shell) {
    RegisterFormClass(instance_, &TForm1::WindowProc);
    dpi_ = SystemDpi();
    const RECT frame = WindowRectForClient(
        RECT{0, 0, ScaleToDpi(kClientWidth, dpi_), ScaleToDpi(kClientHeight, dpi_)}, kStyle,
        kExStyle, dpi_);
    // The caption is one blank: the title bar and the taskbar button show no text.
    ::CreateWindowExW(kExStyle, kClassName, L" ", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                      instance_, this);
    if (handle_ == nullptr) {
        return;  // wWinMain reports it
    }
    // Created on a monitor whose DPI differs from the system's: lay out for that one.
    if (const int windowDpi = WindowDpi(handle_); windowDpi != dpi_) {
        ApplyDpi(windowDpi, true);
    }
}

TForm1::~TForm1() {
    if (handle_ != nullptr) {
        ::DestroyWindow(handle_);
    }
}

void TForm1::Show(int showCommand) {
    ::ShowWindow(handle_, showCommand);
    ::UpdateWindow(handle_);
    ::SetFocus(btnStart);
}

bool TForm1::PreTranslateMessage(MSG& message) {
    return handle_ != nullptr && ::IsDialogMessageW(handle_, &message);
}

void TForm1::btnStartClick() {
    // The run pumps no messages, but a modal dialog at its end does; a click queued before it
    // opened must not start a second run inside the first.
    if (running_) {
        return;
    }
    running_ = true;
    hf::btnStartClick(*this, stages_, shell_);
    running_ = false;
}

void TForm1::SetProgressPosition(int position) {
    ::SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    // The run processes no messages between stages; paint the bar now so it shows the progress.
    ::UpdateWindow(ProgressBar1);
}

void TForm1::SetProgressMax(int maximum) {
    ::SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, maximum);
    ::UpdateWindow(ProgressBar1);
}

void TForm1::DiscardPendingInput() {
    // Keys and clicks typed ahead while the stages ran wait in this thread's queue; the modal
    // box's loop would hand them to the box (a second Enter would answer Yes unseen). Drop them:
    // keys with their characters (WM_CHAR, WM_SYSKEY*, WM_SYSCHAR are in the key range), client
    // and non-client mouse input (a queued click on the close box included). Removing them
    // through PeekMessageW also brings the thread's key state up to date, so a key released
    // while the stages ran is not seen as held. A key still held when the box opens answers it
    // only through input that arrives from then on, as for any key pressed while it shows.
    MSG message;
    for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                                      std::pair<UINT, UINT>{WM_MOUSEFIRST, WM_MOUSELAST},
                                      std::pair<UINT, UINT>{WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}}) {
        while (::PeekMessageW(&message, nullptr, first, last, PM_REMOVE | PM_NOYIELD)) {
        }
    }
}

int TForm1::AskYesNo(const std::wstring& text) {
    DialogRequest request;
    request.owner = handle_;
    request.caption = L"Information";
    request.text = text;
    request.informationIcon = true;
    request.buttons = {{kIdYes, L"&Yes"}, {kIdNo, L"&No"}};
    request.defaultButton = kIdYes;
    return ShowModalDialog(request);
}

void TForm1::ShowMessage(const std::wstring& text) {
    DialogRequest request;
    request.owner = handle_;
    request.caption = title_;
    request.text = text;
    request.buttons = {{IDOK, L"OK"}};
    request.defaultButton = IDOK;
    ShowModalDialog(request);
}

void TForm1::CloseMainWindow() {
    // Closed from the message loop once the click handler has returned.
    ::PostMessageW(handle_, WM_CLOSE, 0, 0);
}

void TForm1::CreateControls() {
    // Creation order is tab order: btnStart 0, ProgressBar1 1.
    btnStart = ::CreateWindowExW(
        0, WC_BUTTONW, L"시작", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
        handle_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStartId)), instance_, nullptr);
    ProgressBar1 = ::CreateWindowExW(
        0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, handle_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), instance_, nullptr);
    ::SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(ProgressBar1, PBM_SETPOS, 0, 0);
    ApplyDpi(dpi_, false);
}

void TForm1::ApplyDpi(int dpi, bool resize) {
    dpi_ = dpi;
    UniqueGdiObject font(
        GdiObjectTraits{},
        ::CreateFontW(ScaleToDpi(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    for (HWND control : {btnStart, ProgressBar1}) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);  // the old font goes once no control uses it
    MoveControl(ProgressBar1, Scaled(kProgressBarBounds, dpi));
    MoveControl(btnStart, Scaled(kStartBounds, dpi));
    if (resize) {
        const RECT frame = WindowRectForClient(
            RECT{0, 0, ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi)}, kStyle,
            kExStyle, dpi);
        ::SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->handle_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm1*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    const LRESULT result = form->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->handle_ = nullptr;
        form->btnStart = nullptr;
        form->ProgressBar1 = nullptr;
    }
    return result;
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kStartId && HIWORD(wParam) == BN_CLICKED) {
                btnStartClick();
                return 0;
            }
            break;
        case DM_GETDEFID:
            // Enter anywhere in the window presses Start.
            return MAKELRESULT(kStartId, DC_HASDEFID);
        case WM_ACTIVATE:
            // Keep the focus on the control that had it, as a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(handle_, focus)) {
                    focused_ = focus;
                }
            } else if (HIWORD(wParam) == 0) {  // not minimised
                ::SetFocus(focused_ != nullptr ? focused_ : btnStart);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            ::SetFocus(focused_ != nullptr ? focused_ : btnStart);
            return 0;
        case kWmDpiChanged: {
            ApplyDpi(HIWORD(wParam), false);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(handle_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(handle_, message, wParam, lParam);
}

}  // namespace hf

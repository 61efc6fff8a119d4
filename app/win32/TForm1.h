#pragma once
// The main window: the Start button and the progress bar, and the Win32 side of the window seam
// the cleaning run is written against.

#include "app/core/CleaningRun.h"
#include "app/win32/GdiHandles.h"

#include <windows.h>

#include <string>

namespace hf {

class TForm1 final : public MainFormUi {
  public:
    static constexpr wchar_t kClassName[] = L"TForm1";

    // Creates the window (hidden) with its controls. `title` is the application title, the
    // caption of the plain message box.
    TForm1(HINSTANCE instance, std::wstring title, CleaningStages& stages, ShellApi& shell);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return handle_; }
    void Show(int showCommand);
    // Keyboard navigation of the window's controls (Tab, Enter, Space); true when consumed.
    bool PreTranslateMessage(MSG& message);

    // The click handler of btnStart.
    void btnStartClick();

    // The window seam of the cleaning run.
    void SetProgressPosition(int position) override;
    void SetProgressMax(int maximum) override;
    void DiscardPendingInput() override;
    int AskYesNo(const std::wstring& text) override;
    void ShowMessage(const std::wstring& text) override;
    void CloseMainWindow() override;

    HWND btnStart = nullptr;
    HWND ProgressBar1 = nullptr;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    // Font, control bounds and (when `resize`) the window's size for `dpi`.
    void ApplyDpi(int dpi, bool resize);

    HINSTANCE instance_;
    std::wstring title_;
    CleaningStages& stages_;
    ShellApi& shell_;
    HWND handle_ = nullptr;
    HWND focused_ = nullptr;  // the control that had the focus when the window was deactivated
    UniqueGdiObject font_;
    int dpi_ = 0;
    bool running_ = false;
};

}  // namespace hf

// Program entry: the application object, the main window and the message loop.

#include "app/core/ApplicationTitle.h"
#include "app/core/PlatformStages.h"
#include "app/win32/TForm1.h"
#include "app/win32/Unattended.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

namespace {

// The full path of this program, however long.
std::wstring ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The application object: the common controls of the manifest, and the title the message
    // box shows (derived from the file name; none is set in code).
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    const std::wstring title = hf::ApplicationTitle(ModuleFileName());

    // Options (/quiet for deployment tools, /?) are handled there; none: the window below.
    if (const std::optional<int> exitCode = hf::RunUnattended(title)) {
        return *exitCode;
    }

    const hf::Win32Platform platform;
    hf::PlatformStages stages(platform.Get());

    // The main form owns its taskbar button; closing it ends the program.
    hf::TForm1 form(instance, title, stages, platform.Get().Shell());
    if (form.Handle() == nullptr) {
        return 1;
    }
    form.Show(showCommand);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!form.PreTranslateMessage(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return 0;
}

// Program entry: the application object, the main window and the message loop.

#include "app/core/ApplicationTitle.h"
#include "app/core/MissingLibrary.h"
#include "app/core/PlatformStages.h"
#include "app/win32/TForm1.h"
#include "app/win32/Unattended.h"
#include "platform/win32/SystemLibrary.h"
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

// The common controls (the progress bar's class and the manifest's version 6), loaded at run
// time: comctl32.dll is no KnownDLL. With them the libraries they load in turn by name, taken
// from the system folder first and held for the program's life: a library loaded later by name
// finds them loaded. That matters where a library's delayed imports are searched along the
// process's default path, which begins at the program's folder: Windows 7 without KB2533623 (no
// search flags), and Wine, whose delay-load resolution ignores SetDefaultDllDirectories (uxtheme
// takes msimg32 from beside the program there: tests/wine/app/PlantingTest.cpp).
struct CommonControls {
    hf::UniqueLibrary uxtheme = hf::LoadSystemLibrary(L"uxtheme.dll");
    hf::UniqueLibrary msimg32 = hf::LoadSystemLibrary(L"msimg32.dll");
    hf::UniqueLibrary comctl32 = hf::LoadSystemLibrary(L"comctl32.dll");
    DWORD error = comctl32 ? 0 : ::GetLastError();

    CommonControls() {
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        const auto init = hf::GetProcedure<InitFn>(comctl32.get(), "InitCommonControlsEx");
        const INITCOMMONCONTROLSEX controls{sizeof controls,
                                            ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        if (error == 0 && (init == nullptr || !init(&controls))) {
            error = init == nullptr ? ERROR_PROC_NOT_FOUND : ERROR_DLL_INIT_FAILED;
        }
    }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Only the system folder is searched for libraries: LoaderLockdown.cpp's TLS callback said so
    // before the C runtime's constructors ran (saying it again here would change nothing).

    // The application object: the title the message box shows (derived from the file name; none
    // is set in code), and the common controls of the manifest.
    const std::wstring title = hf::ApplicationTitle(ModuleFileName());
    // Held before any box can open, the usage box of /? included: a box's theme library loads
    // more by name, which must find them loaded from the system folder.
    const CommonControls commonControls;

    // Options (/quiet for deployment tools, /?) are handled there; none: the window below.
    if (const std::optional<int> exitCode = hf::RunUnattended(title)) {
        return *exitCode;
    }

    const hf::Win32Platform platform;

    // A library the run needs could not be loaded from the system folder: say which, and end.
    std::wstring missing;
    if (const auto library = platform.Missing()) {
        missing = hf::MissingLibraryMessage(platform.Get().System(), library->name, library->error);
    } else if (commonControls.error != 0) {
        missing = hf::MissingLibraryMessage(platform.Get().System(), L"comctl32.dll",
                                            commonControls.error);
    }
    if (!missing.empty()) {
        ::MessageBoxW(nullptr, missing.c_str(), title.c_str(), MB_OK);
        return 1;
    }

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

#include "tests/wine/app/WindowProbe.h"

#include "app/win32/GdiHandles.h"

#include <fstream>
#include <set>

namespace hf::probe {

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

std::wstring Text(HWND window) {
    // The stored text, read without sending a message (works while the owner is busy).
    wchar_t text[1024] = {};
    ::InternalGetWindowText(window, text, static_cast<int>(std::size(text)));
    return text;
}

RECT BoundsInParent(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<ChildInfo> Children(HWND parent) {
    std::vector<ChildInfo> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(ChildInfo{child, ClassName(child), Text(child),
                                     ::GetWindowLongW(child, GWL_STYLE), BoundsInParent(child)});
    }
    return children;
}

const ChildInfo* FindChild(const std::vector<ChildInfo>& children, const wchar_t* className,
                           const std::wstring& text) {
    for (const ChildInfo& child : children) {
        if (_wcsicmp(child.className.c_str(), className) == 0 && child.text == text) {
            return &child;
        }
    }
    return nullptr;
}

int VisibleButtons(const std::vector<ChildInfo>& children) {
    int buttons = 0;
    for (const ChildInfo& c : children) {
        buttons += _wcsicmp(c.className.c_str(), L"Button") == 0 && (c.style & WS_VISIBLE) ? 1 : 0;
    }
    return buttons;
}

bool HasVisibleIcon(const std::vector<ChildInfo>& children) {
    for (const ChildInfo& c : children) {
        if (_wcsicmp(c.className.c_str(), L"Static") == 0 && (c.style & SS_TYPEMASK) == SS_ICON &&
            (c.style & WS_VISIBLE)) {
            return true;
        }
    }
    return false;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string Describe(const std::vector<ChildInfo>& children) {
    std::string all;
    for (const ChildInfo& c : children) {
        all += " " + Narrow(c.className) + "'" + Narrow(c.text) + "'";
    }
    return all;
}

HWND WaitForWindow(const std::function<HWND()>& find, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (HWND window = find()) {
            return window;
        }
        if (std::chrono::steady_clock::now() > end) {
            return nullptr;
        }
        ::Sleep(50);
    }
}

HWND FindTopLevel(DWORD processId, const wchar_t* className, const wchar_t* caption) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, className, caption); window != nullptr;
         window = ::FindWindowExW(nullptr, window, className, caption)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ::IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR answer = 0;
    const bool sent =
        ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 10000, &answer) != 0;
    result = static_cast<LRESULT>(answer);
    return sent;
}

HWND FocusOfThreadOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

int SaveScreenshot(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return 0;
    }
    UniqueWindowDc screen = GetWindowDc(nullptr);
    UniqueMemoryDc memory(MemoryDcTraits{}, ::CreateCompatibleDC(screen.get()));
    UniqueGdiObject bitmap(GdiObjectTraits{},
                           ::CreateCompatibleBitmap(screen.get(), width, height));
    if (!screen || !memory || !bitmap) {
        return 0;
    }
    {
        ScopedSelection selected = SelectInto(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top,
                 SRCCOPY | CAPTUREBLT);
    }

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as .bmp files store it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
    if (::GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(height),
                    pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == 0) {
        return 0;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(pixels.data()),
              static_cast<std::streamsize>(pixels.size()));
    if (!out) {
        return 0;
    }

    std::set<unsigned long> colours;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &pixels[static_cast<std::size_t>(y) * stride + x * 3];
            colours.insert(p[0] | (p[1] << 8) | (static_cast<unsigned long>(p[2]) << 16));
        }
    }
    return static_cast<int>(colours.size());
}

}  // namespace hf::probe

#pragma once
// Small pieces the lab programs share: names for the owners of the Win32 handles they use, text in
// and out of files (UTF-8 on disk, UTF-16 in memory) and the system's text for an error code.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UniqueHandle.h"
#include "app/win32/GdiHandles.h"
#include "platform/win32/Win32Handles.h"

namespace hf::lab {

// The owners the product's window code uses too (platform/win32/Win32Handles.h).
using ::hf::GdiObjectTraits;
using ::hf::KernelHandleTraits;
using ::hf::MemoryDcTraits;
using ::hf::WindowDcTraits;
using KernelHandle = UniqueKernelHandle;
using GdiObject = UniqueGdiObject;
using MemoryDc = UniqueMemoryDc;
using WindowDc = UniqueWindowDc;

// The lab's names for the catalogue's owners of files (and other INVALID_HANDLE_VALUE handles),
// service handles, registry keys and searches.
using FileHandleTraits = ::hf::FileTraits;
using FileHandle = UniqueFile;
using ServiceHandleTraits = ::hf::NativeScTraits;
using ServiceHandle = UniqueNativeSc;
using RegKeyTraits = ::hf::NativeKeyTraits;
using RegKey = UniqueNativeKey;
using FindHandleTraits = ::hf::FindTraits;
using FindHandle = UniqueFind;

// The system's text for a Win32 error code, without the trailing line break.
std::wstring ErrorText(DWORD code);

// "<what> failed: <code> <text>" for a failed call.
std::wstring Failure(std::wstring_view what, DWORD code);

// Reads a whole file as UTF-8 (a BOM is skipped; UTF-16LE with a BOM is accepted too).
// Returns false when the file cannot be read.
bool ReadTextFile(const std::wstring& path, std::wstring& text);

// Writes text as UTF-8 (no BOM), replacing the file.
bool WriteTextFile(const std::wstring& path, std::wstring_view text);

// Writes text as UTF-16LE with a byte-order mark (how Windows stores task definitions).
bool WriteUtf16File(const std::wstring& path, std::wstring_view text);

// Writes one line of UTF-8 to the standard output (the Linux terminal under Wine).
void PrintLine(std::wstring_view line);

// The folder of the running program, without a trailing separator.
std::wstring ProgramFolder();

// Where the Task Scheduler keeps its definitions: the native system folder's Tasks, which a
// 32-bit program under WoW64 reaches through Sysnative (its System32 is SysWOW64).
std::wstring TaskStoreFolder();

// The top-level windows of a process (with `visibleOnly`, only those shown), in z order.
std::vector<HWND> TopLevelWindows(DWORD processId, bool visibleOnly);

// A window's class name.
std::wstring ClassOf(HWND window);

}  // namespace hf::lab

#pragma once
// The lab scheduler's store: task definitions kept the way Windows keeps them, one directory
// per task folder under <system folder>\Tasks and one file per task holding its definition XML.

#include <windows.h>

#include <string>
#include <vector>

namespace hf::lab {

// A folder of the store: its scheduler path ("\" for the root, "\A\B" below it), its name
// (the root's is "\") and the directory that holds it.
struct StoreFolder {
    std::wstring path;
    std::wstring name;
    std::wstring directory;
};

struct StoredTask {
    std::wstring name;
    std::wstring path;
    std::wstring xml;  // the file's text, decoded, byte order mark removed, otherwise unchanged
    bool hidden = false;
};

// A folder whose listing is refused: the result to fail with and the description to report
// (empty: no description).
struct Refusal {
    HRESULT result = E_ACCESSDENIED;
    std::wstring description;
};

// Name of the marker file that makes a folder refuse its listing. It is never listed as a task.
inline constexpr wchar_t kRefusalMarker[] = L".hf-refuse";

// The root folder: "<system folder>\Tasks". A 32-bit process on 64-bit Windows reaches the
// native system folder through "<Windows folder>\Sysnative", as the real scheduler's store is
// there. Fails with the system's error when the folders cannot be found.
HRESULT OpenRootFolder(StoreFolder& root);

// Resolves `relative` (names separated by backslashes; empty names, so leading, doubled and
// trailing backslashes, are ignored) below `base`. E_INVALIDARG for ".", "..", wildcards or
// other characters no folder name has; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when a name
// is not an existing directory. Names take their case from the disk.
HRESULT ResolveFolder(const StoreFolder& base, const std::wstring& relative, StoreFolder& out);

// Direct subfolders, sorted by name ignoring case. A missing root directory lists as empty.
HRESULT ListSubfolders(const StoreFolder& folder, std::vector<StoreFolder>& out);

// Every task of the folder, hidden ones included (see StoredTask::hidden), sorted by name
// ignoring case. A task file that cannot be read fails the whole listing with its error.
HRESULT ListTasks(const StoreFolder& folder, std::vector<StoredTask>& out);

// One task of the folder by name. HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is none.
HRESULT ReadTask(const StoreFolder& folder, const std::wstring& name, StoredTask& out);

// True when the folder's directory holds the refusal marker; `out` then says how to fail.
bool FindRefusal(const StoreFolder& folder, Refusal& out);

// Text of a definition file: UTF-16 LE after its byte order mark, otherwise UTF-8 (with or
// without its byte order mark; invalid sequences become U+FFFD).
std::wstring DecodeDefinition(const std::string& bytes);

// Settings/Hidden by text search: the first "<Hidden>" element inside the first "<Settings>"
// element, its content without surrounding blanks equal to "true" or "1". Namespace prefixes,
// comments and CDATA are not understood; definitions that Windows writes need none of them.
bool IsHiddenDefinition(const std::wstring& xml);

// Marker text: an optional first word holding the failure code in hex ("0x80070005", or
// exactly eight hex digits), then the description; surrounding blanks and line breaks are
// dropped. Without a code, or with one that is not a failure, the result is E_ACCESSDENIED.
Refusal ParseRefusal(const std::wstring& text);

}  // namespace hf::lab

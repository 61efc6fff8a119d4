#pragma once
// How a file a task names is examined: once, through one handle, under folders that cannot be
// swapped meanwhile. A user owns some of the folders such paths lead through and can turn one
// into a link (to a share, where the tool would authenticate as the administrator) between any
// two calls that take the path as text. So after its text checks a path is walked from its
// drive's root, each folder opened relative to the folder above it (NtOpenFile with the parent's
// handle), without following a link, checked, and held open without delete sharing for the rest
// of the stage: it can be neither renamed nor replaced while held, and a folder checked once is
// not walked again for the next candidate under it. The file itself is opened relative to its
// checked folder, and everything the rules take of it (attributes, times, the version resource,
// the final path, the deletion or rename) goes through that handle.

#include "platform/Files.h"
#include "platform/Platform.h"
#include "inspect/SystemView.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hf {

// Why a candidate was passed over before anything of it was read: where it points. These are the
// words of the report's passed-over lines.
inline constexpr wchar_t kOffTheLocalDisks[] = L"not on a local fixed disk";
inline constexpr wchar_t kDeviceName[] = L"a device name";
inline constexpr wchar_t kParentSegment[] = L"a \"..\" segment";
inline constexpr wchar_t kLinkOnTheWay[] = L"a link on the way";

// WoW64's file-system redirection off for the calling thread while it lives, and on again on
// every way out: a walk opens folders by the names the system gives them (System32 is the native
// folder, SysWOW64 the 32-bit one), and a rename names its target the same way. Nothing in a
// native process.
class RedirectionOff {
  public:
    RedirectionOff(FileApi& files, bool wow64);
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;
    ~RedirectionOff();

  private:
    FileApi& files_;
    std::uintptr_t previous_ = 0;
    bool active_ = false;
};

// A folder on the way to candidates, checked and held open for the stage.
struct HeldFolder {
    UniqueFileHandle handle;
    std::wstring path;       // as the system names it ("C:", "C:\Windows\SysWOW64"), no "\\?\"
    bool driveRoot = false;  // the drive's root
    std::shared_ptr<HeldFolder> parent;
};

// One candidate, opened or not.
struct Candidate {
    enum class State {
        kAbsent,      // nothing there that is a file, or it could not be opened at all
        kPassedOver,  // passed over for where it points (`why`), before anything of it was read
        kOpen,        // a plain file, open through `file`
    };
    State state = State::kAbsent;
    std::wstring why;         // kPassedOver: one of the texts above
    std::uint32_t error = 0;  // kAbsent: the error of the open that failed (0: a folder is there)

    UniqueFileHandle file;
    std::uint32_t access = 0;    // what the open was granted
    std::uint32_t refusal = 0;   // the error of the first open refused (0: none), 32 when held
    FileHandleInformation info;  // attributes, times, size, read through the handle
    std::wstring systemPath;     // the file as the system names it (its final path)
    std::shared_ptr<HeldFolder> folder;
    bool wow64 = false;  // examined by a 32-bit process on 64-bit Windows

    bool CanDelete() const { return (access & kDeleteAccess) != 0; }
    bool CanRead() const { return (access & kFileReadData) != 0; }

    // The version block, read through the handle on first use; nothing when the file has none.
    const std::optional<std::vector<std::uint8_t>>& VersionBlock(FileApi& files);

  private:
    bool versionRead_ = false;
    std::optional<std::vector<std::uint8_t>> version_;
};

class CandidateFolders {
  public:
    explicit CandidateFolders(const Platform& platform);
    CandidateFolders(const CandidateFolders&) = delete;
    CandidateFolders& operator=(const CandidateFolders&) = delete;

    // Examines `path` as a task names it: its text (IsLocalFixedPath's rules, no ".." segment),
    // its drive (one GetDriveTypeW per drive and stage), then the walk in the system's view of the
    // folders (WoW64 mapped, with redirection off while the walk opens anything). `content`: the
    // rule reads the file's content, so the open asks for FILE_READ_DATA too. The file is opened
    // with DELETE and FILE_WRITE_ATTRIBUTES besides; when that is refused (in use without delete
    // sharing: 32; or 5), with what reading it needs, then with FILE_READ_ATTRIBUTES alone.
    Candidate Examine(const std::wstring& path, bool content);
    // Whether a file is at a path that already names what the system names (a final path),
    // unmapped: the same walk, the file opened for its attributes only.
    Candidate ExamineSystemPath(const std::wstring& systemPath);

    // The process's view of the system folders, read once.
    const SystemView& View() const noexcept { return view_; }

  private:
    Candidate Walk(const std::wstring& systemPath, bool content, bool attributesOnly);
    std::shared_ptr<HeldFolder> Root(wchar_t drive);
    // The folder `name` in `parent`, checked: null with `why` set when it is a link, null with
    // `why` empty and `error` set when it is not there or cannot be opened.
    std::shared_ptr<HeldFolder> Folder(const std::shared_ptr<HeldFolder>& parent,
                                       const std::wstring& name, std::wstring& why,
                                       std::uint32_t& error);
    // Whether `finalPath` (what the system names an object opened as `asked` in `parent`) is
    // that entry of `parent`: its name, or the entry whose 8.3 name `asked` is. `named` receives
    // the final path without "\\?\".
    bool IsChildOf(const HeldFolder& parent, std::wstring_view finalPath, const std::wstring& asked,
                   std::wstring& named) const;

    const Platform& platform_;
    FileApi& files_;
    SystemView view_;
    std::map<wchar_t, std::uint32_t> driveTypes_;
    // Folders by their path in upper case (a to z); a folder that was a link or missing is kept
    // as such too, with `why`.
    struct Entry {
        std::shared_ptr<HeldFolder> folder;
        std::wstring why;
        std::uint32_t error = 0;
    };
    std::map<std::wstring, Entry> folders_;
};

}  // namespace hf

#include "inspect/VersionInfo.h"

#include "platform/Errors.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "inspect/VersionResource.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace hf {

namespace {

// The trailing backslash is how this path has always been written; the system accepts it.
constexpr wchar_t kTranslationPath[] = L"\\VarFileInfo\\Translation\\";
constexpr std::uint32_t kErrorInvalidData = 13;
constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
// The most GetFileVersionInfoSizeW asks for a block whose own length field (16 bits) is honest:
// twice the block, for the conversions the system makes in it, and 4 bytes.
constexpr std::uint32_t kMaxVersionInfoSize = 2 * kMaxVersionBlock + 4;

enum class ReadStep { Done, SizeFailed, ReadFailed, TooLarge };

// Reads the file's version information into `block` (sized as the system reports, but never
// beyond what a version block can be: a file claiming more has none).
ReadStep ReadVersionBlock(VersionApi& version, const std::wstring& path,
                          std::vector<std::uint8_t>& block) {
    const std::uint32_t size = version.GetFileVersionInfoSizeW(path);
    if (size == 0) {
        return ReadStep::SizeFailed;
    }
    if (size > kMaxVersionInfoSize) {
        return ReadStep::TooLarge;
    }
    block.assign(size, 0);
    if (!version.GetFileVersionInfoW(path, size, block.data())) {
        return ReadStep::ReadFailed;
    }
    return ReadStep::Done;
}

std::uint16_t ReadWord(const std::uint8_t* p) {
    std::uint16_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// "%.4x%.4x" of the first entry, upper-case digits: language then code page.
std::wstring TranslationText(const std::uint8_t* entry) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%.4X%.4X", static_cast<unsigned>(ReadWord(entry)),
                  static_cast<unsigned>(ReadWord(entry + 2)));
    return text;
}

// Whether `size` bytes at `value` lie inside the block.
bool InsideBlock(const std::vector<std::uint8_t>& block, const void* value, std::size_t size) {
    const auto begin = reinterpret_cast<std::uintptr_t>(block.data());
    const auto at = reinterpret_cast<std::uintptr_t>(value);
    return at >= begin && at - begin <= block.size() && block.size() - (at - begin) >= size;
}

enum class TranslationStep { Found, Missing, TooShort };

// How a value is looked up in a block: VerQueryValueW for a block the system read, our own walk
// for one read from an open file. Both point into the block and report a length.
template <typename Lookup>
TranslationStep QueryTranslation(Lookup lookup, const std::vector<std::uint8_t>& block,
                                 std::wstring& text) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!lookup(std::wstring(kTranslationPath), value, length)) {
        return TranslationStep::Missing;
    }
    // Less than one whole entry, or one that would run past the block: nothing to read.
    if (length < 4 || !InsideBlock(block, value, 4)) {
        return TranslationStep::TooShort;
    }
    text = TranslationText(static_cast<const std::uint8_t*>(value));
    return TranslationStep::Found;
}

// The string at `subBlock`, copied out of the block up to its first NUL. The length the system
// reports is not trusted: a crafted file may report less than its text (to hide a name) or more
// than the block holds, so the copy is bounded by the block's end instead. A value the system
// places outside the block cannot be read safely and counts as missing.
template <typename Lookup>
std::optional<std::wstring> QueryString(Lookup lookup, const std::vector<std::uint8_t>& block,
                                        const std::wstring& subBlock) {
    const void* value = nullptr;
    std::uint32_t reportedLength = 0;  // not used, see above
    if (!lookup(subBlock, value, reportedLength) || !InsideBlock(block, value, 0)) {
        return std::nullopt;
    }
    const auto* units = static_cast<const std::uint8_t*>(value);
    const std::size_t available =
        (block.size() - static_cast<std::size_t>(units - block.data())) / 2;
    std::u16string text;
    for (std::size_t i = 0; i < available; ++i) {
        const std::uint16_t unit = ReadWord(units + 2 * i);
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<char16_t>(unit));
    }
    return WideFromUtf16Units(text);
}

std::wstring StringPath(const std::wstring& translation, const std::wstring& key) {
    return L"\\StringFileInfo\\" + translation + L"\\" + key;
}

// The string `key` under the block's first translation, else under "040904B0".
template <typename Lookup>
std::wstring StringOf(Lookup lookup, const std::vector<std::uint8_t>& block,
                      const std::wstring& key) {
    std::wstring translation;
    if (QueryTranslation(lookup, block, translation) != TranslationStep::Found) {
        return std::wstring();
    }
    if (auto text = QueryString(lookup, block, StringPath(translation, key))) {
        return *text;  // an existing empty string ends the search too
    }
    // Asked again even when the first translation already was this one.
    return QueryString(lookup, block, StringPath(kFallbackTranslation, key)).value_or(L"");
}

auto SystemLookup(VersionApi& version, const std::vector<std::uint8_t>& block) {
    return [&version, &block](const std::wstring& subBlock, const void*& value,
                              std::uint32_t& length) {
        return version.VerQueryValueW(block.data(), subBlock, value, length);
    };
}

}  // namespace

std::wstring GetVersionString(const Platform& platform, const std::wstring& path,
                              const std::wstring& key) {
    VersionApi& version = platform.Version();
    std::vector<std::uint8_t> block;
    if (ReadVersionBlock(version, path, block) != ReadStep::Done) {
        return std::wstring();
    }
    return StringOf(SystemLookup(version, block), block, key);
}

std::wstring VersionString(const std::vector<std::uint8_t>& block, const std::wstring& key) {
    return StringOf(
        [&block](const std::wstring& subBlock, const void*& value, std::uint32_t& length) {
            return FindVersionValue(block, subBlock, value, length);
        },
        block, key);
}

std::wstring GetOriginalFileName(const Platform& platform, const std::wstring& path) {
    VersionApi& version = platform.Version();
    std::vector<std::uint8_t> block;
    switch (ReadVersionBlock(version, path, block)) {
        case ReadStep::Done:
            break;
        case ReadStep::TooLarge:
            // The size call succeeded, so the last error says nothing about this.
            RaiseOSError(platform.System(), kErrorResourceDataNotFound);
        case ReadStep::SizeFailed:
        case ReadStep::ReadFailed:
            RaiseLastOSError(platform.System());
    }
    const auto lookup = SystemLookup(version, block);
    std::wstring translation;
    switch (QueryTranslation(lookup, block, translation)) {
        case TranslationStep::Found:
            break;
        case TranslationStep::Missing:
            RaiseLastOSError(platform.System());
        case TranslationStep::TooShort:
            // The system reported success, so its last error says nothing about this.
            RaiseOSError(platform.System(), kErrorInvalidData);
    }
    return QueryString(lookup, block, StringPath(translation, L"OriginalFileName")).value_or(L"");
}

}  // namespace hf

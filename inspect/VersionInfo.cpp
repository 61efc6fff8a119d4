#include "inspect/VersionInfo.h"

#include "platform/Errors.h"
#include "platform/System.h"
#include "platform/Version.h"

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

enum class ReadStep { Done, SizeFailed, ReadFailed };

// Reads the file's version information into `block` (sized as the system reports).
ReadStep ReadVersionBlock(VersionApi& version, const std::wstring& path,
                          std::vector<std::uint8_t>& block) {
    const std::uint32_t size = version.GetFileVersionInfoSizeW(path);
    if (size == 0) {
        return ReadStep::SizeFailed;
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

enum class TranslationStep { Found, Missing, TooShort };

TranslationStep QueryTranslation(VersionApi& version, const std::vector<std::uint8_t>& block,
                                 std::wstring& text) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!version.VerQueryValueW(block.data(), kTranslationPath, value, length)) {
        return TranslationStep::Missing;
    }
    // Less than one whole entry: nothing to read the first entry from.
    if (length < 4) {
        return TranslationStep::TooShort;
    }
    text = TranslationText(static_cast<const std::uint8_t*>(value));
    return TranslationStep::Found;
}

// The string at `subBlock`, copied out of the block: up to its first NUL, and never past the
// length the system reports (an empty value may have no NUL of its own).
std::optional<std::wstring> QueryString(VersionApi& version, const std::vector<std::uint8_t>& block,
                                        const std::wstring& subBlock) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!version.VerQueryValueW(block.data(), subBlock, value, length)) {
        return std::nullopt;
    }
    const auto* units = static_cast<const std::uint8_t*>(value);
    std::wstring text;
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint16_t unit = ReadWord(units + 2 * i);
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    if constexpr (sizeof(wchar_t) == 4) {
        // Join surrogate pairs where wchar_t holds whole code points.
        std::wstring joined;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<char32_t>(text[i]);
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                const auto next = static_cast<char32_t>(text[i + 1]);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    joined.push_back(
                        static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00)));
                    ++i;
                    continue;
                }
            }
            joined.push_back(text[i]);
        }
        text = std::move(joined);
    }
    return text;
}

std::wstring StringPath(const std::wstring& translation, const std::wstring& key) {
    return L"\\StringFileInfo\\" + translation + L"\\" + key;
}

}  // namespace

std::wstring GetVersionString(const Platform& platform, const std::wstring& path,
                              const std::wstring& key) {
    VersionApi& version = platform.Version();
    std::vector<std::uint8_t> block;
    if (ReadVersionBlock(version, path, block) != ReadStep::Done) {
        return std::wstring();
    }
    std::wstring translation;
    if (QueryTranslation(version, block, translation) != TranslationStep::Found) {
        return std::wstring();
    }
    if (auto text = QueryString(version, block, StringPath(translation, key))) {
        return *text;  // an existing empty string ends the search too
    }
    // Asked again even when the first translation already was this one.
    return QueryString(version, block, StringPath(kFallbackTranslation, key)).value_or(L"");
}

std::wstring GetOriginalFileName(const Platform& platform, const std::wstring& path) {
    VersionApi& version = platform.Version();
    std::vector<std::uint8_t> block;
    if (ReadVersionBlock(version, path, block) != ReadStep::Done) {
        RaiseLastOSError(platform.System());
    }
    std::wstring translation;
    switch (QueryTranslation(version, block, translation)) {
        case TranslationStep::Found:
            break;
        case TranslationStep::Missing:
            RaiseLastOSError(platform.System());
        case TranslationStep::TooShort:
            // The system reported success, so its last error says nothing about this.
            RaiseOSError(platform.System(), kErrorInvalidData);
    }
    return QueryString(version, block, StringPath(translation, L"OriginalFileName")).value_or(L"");
}

}  // namespace hf

#include "tests/fakes/FakeVersion.h"

#include "platform/Text.h"
#include "tests/fakes/Utf16Le.h"

#include <cstring>

namespace hf::fake {

namespace {

// Block layout: "FVER", the count of bytes written, then entries of
//   u32 path length (code units), the path (UTF-16), u32 value length as reported,
//   u32 value bytes, the value bytes; no padding, so a value without bytes points straight at
//   the next entry's (non-zero) header.
constexpr std::uint32_t kMagic = 0x52455646;  // "FVER"

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const test::Bytes bytes = test::Le32(value);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::uint32_t GetU32(const std::uint8_t* p) {
    std::uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void PutEntry(std::vector<std::uint8_t>& out, const std::wstring& path,
              const std::vector<std::uint8_t>& value, std::uint32_t reportedLength) {
    const std::u16string units = test::Utf16Units(path);
    PutU32(out, static_cast<std::uint32_t>(units.size()));
    test::AppendUtf16Le(out, units);
    PutU32(out, reportedLength);
    PutU32(out, static_cast<std::uint32_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

// The path components of a sub-block, empty ones skipped (as the system does), a-z folded.
std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty()) {
                parts.push_back(UpperCase(part));
            }
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) {
        parts.push_back(UpperCase(part));
    }
    return parts;
}

}  // namespace

void FakeVersion::FailSize(const std::wstring& path, std::uint32_t code) {
    sizeFailures_[FakeFileSystem::Key(path)] = code;
}

void FakeVersion::FailRead(const std::wstring& path, std::uint32_t code) {
    readFailures_[FakeFileSystem::Key(path)] = code;
}

std::vector<std::uint8_t> FakeVersion::Serialise(const FakeVersionResource& resource) const {
    std::vector<std::uint8_t> out;
    PutU32(out, kMagic);
    PutU32(out, 0);  // bytes written, filled in by GetFileVersionInfoW
    auto putTranslation = [&] {
        if (resource.hasTranslation) {
            PutEntry(out, L"\\VarFileInfo\\Translation", resource.translation,
                     static_cast<std::uint32_t>(resource.translation.size()));
        }
    };
    if (unterminatedStrings) {
        putTranslation();
    }
    for (const auto& [translation, table] : resource.strings) {
        for (const auto& [key, text] : table) {
            std::vector<std::uint8_t> value;
            std::uint32_t reported = 0;
            if (!(text.empty() && bareEmptyStrings)) {
                std::u16string units = test::Utf16Units(text);
                if (!unterminatedStrings) {
                    units.push_back(u'\0');
                }
                test::AppendUtf16Le(value, units);
                reported = static_cast<std::uint32_t>(units.size());
            }
            PutEntry(out, L"\\StringFileInfo\\" + translation + L"\\" + key, value,
                     reportedStringLength.value_or(reported));
        }
    }
    if (!unterminatedStrings) {
        putTranslation();
    }
    return out;
}

const FakeVersionResource* FakeVersion::Resource(const std::wstring& path,
                                                 std::uint32_t& error) const {
    if (auto failure = files_.PathFailure(path)) {
        error = *failure;
        return nullptr;
    }
    // Measured on Wine 8: the version functions reject "" as a bad path name.
    if (path.empty()) {
        error = kErrorBadPathname;
        return nullptr;
    }
    const FakeFile* file = files_.Find(path);
    if (file == nullptr) {
        error = files_.MissingPathError(path);
        return nullptr;
    }
    if (file->IsDirectory()) {
        error = kErrorAccessDenied;
        return nullptr;
    }
    if (!file->version) {
        error = noResourceError;
        return nullptr;
    }
    return &*file->version;
}

std::uint32_t FakeVersion::GetFileVersionInfoSizeW(const std::wstring& path) {
    ++sizeCalls;
    if (auto it = sizeFailures_.find(FakeFileSystem::Key(path)); it != sizeFailures_.end()) {
        system_.lastError = it->second;
        return 0;
    }
    std::uint32_t error = 0;
    const FakeVersionResource* resource = Resource(path, error);
    if (resource == nullptr) {
        system_.lastError = error;
        return 0;
    }
    return claimedSize.value_or(static_cast<std::uint32_t>(Serialise(*resource).size()));
}

bool FakeVersion::GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) {
    ++readCalls;
    readSizes.push_back(size);
    if (auto it = readFailures_.find(FakeFileSystem::Key(path)); it != readFailures_.end()) {
        system_.lastError = it->second;
        return false;
    }
    std::uint32_t error = 0;
    const FakeVersionResource* resource = Resource(path, error);
    if (resource == nullptr) {
        system_.lastError = error;
        return false;
    }
    if (data == nullptr || size < 8) {
        system_.lastError = kErrorInvalidParameter;
        return false;
    }
    std::vector<std::uint8_t> bytes = Serialise(*resource);
    // Like the system, a smaller block receives what fits.
    const auto written = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), size));
    std::memcpy(bytes.data() + 4, &written, sizeof written);
    std::memcpy(data, bytes.data(), written);
    return true;
}

bool FakeVersion::VerQueryValueW(const void* block, const std::wstring& subBlock,
                                 const void*& value, std::uint32_t& length) {
    queries.push_back(subBlock);
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    if (bytes == nullptr || GetU32(bytes) != kMagic) {
        system_.lastError = kErrorInvalidParameter;
        return false;
    }
    const std::uint32_t written = GetU32(bytes + 4);
    const std::vector<std::wstring> wanted = Components(subBlock);
    std::size_t at = 8;
    while (at + 4 <= written) {
        const std::uint32_t pathUnits = GetU32(bytes + at);
        at += 4;
        std::wstring path;
        for (std::uint32_t i = 0; i < pathUnits; ++i, at += 2) {
            path.push_back(static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8)));
        }
        const std::uint32_t reported = GetU32(bytes + at);
        const std::uint32_t valueBytes = GetU32(bytes + at + 4);
        at += 8;
        if (Components(path) == wanted) {
            value = bytes + at;
            length = reported;
            return true;
        }
        at += valueBytes;
    }
    system_.lastError = queryFailureError;
    return false;
}

}  // namespace hf::fake

#include "RawVersion.h"

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/Utf16Le.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace hf::fuzz {

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::uint16_t kTextType = 1;
constexpr char kSignature[] = "FE2X";

std::size_t Align4(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

std::uint16_t Word(const std::uint8_t* bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

struct Block {
    std::size_t start = 0;
    std::size_t end = 0;   // start + wLength, never past the limit it was read under
    std::size_t next = 0;  // where a sibling would start
    std::u16string key;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 0;
    std::size_t valueStart = 0;
    std::size_t childrenStart = 0;
};

// The block at `at`, read without looking at or past `limit`.
std::optional<Block> ReadBlock(const std::uint8_t* bytes, std::size_t at, std::size_t limit) {
    if (at > limit || limit - at < kHeaderBytes) {
        return std::nullopt;
    }
    Block block;
    const std::uint16_t declared = Word(bytes, at);
    if (declared < kHeaderBytes || declared > limit - at) {
        return std::nullopt;
    }
    block.start = at;
    block.end = at + declared;
    block.next = Align4(block.end);
    block.valueLength = Word(bytes, at + 2);
    block.type = Word(bytes, at + 4);
    std::size_t cursor = at + kHeaderBytes;
    while (true) {
        if (cursor + 2 > block.end) {
            return std::nullopt;  // the key has no NUL inside the block
        }
        const std::uint16_t unit = Word(bytes, cursor);
        cursor += 2;
        if (unit == 0) {
            break;
        }
        block.key.push_back(static_cast<char16_t>(unit));
    }
    block.valueStart = Align4(cursor);
    const std::size_t valueBytes =
        block.type == kTextType ? std::size_t{block.valueLength} * 2 : block.valueLength;
    block.childrenStart = Align4(block.valueStart + valueBytes);
    return block;
}

char16_t Fold(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameKey(const std::u16string& stored, const std::wstring& wanted) {
    const std::u16string units = hf::test::Utf16Units(wanted);
    return std::equal(stored.begin(), stored.end(), units.begin(), units.end(),
                      [](char16_t a, char16_t b) { return Fold(a) == Fold(b); });
}

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path + L"\\") {
        if (c != L'\\') {
            part.push_back(c);
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

}  // namespace

std::uint32_t RawVersion::GetFileVersionInfoSizeW(const std::wstring& path) {
    if (path != path_) {
        system_.lastError = fake::kErrorFileNotFound;
        return 0;
    }
    if (resource_.size() < kHeaderBytes) {
        system_.lastError = fake::kErrorResourceDataNotFound;
        return 0;
    }
    const std::size_t size =
        policy_ == Policy::Windows ? resource_.size() * 2 + 4 : resource_.size();
    return static_cast<std::uint32_t>(size);
}

bool RawVersion::GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) {
    if (path != path_ || data == nullptr) {
        system_.lastError = path != path_ ? fake::kErrorFileNotFound : fake::kErrorInvalidParameter;
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(data);
    const std::size_t copied = std::min<std::size_t>(size, resource_.size());
    std::memcpy(out, resource_.data(), copied);
    if (policy_ == Policy::Windows && size >= copied + 4) {
        std::memcpy(out + copied, kSignature, 4);
    }
    blocks_[data] = size;
    return true;
}

bool RawVersion::VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                                std::uint32_t& length) {
    auto known = blocks_.find(block);
    if (known == blocks_.end()) {
        system_.lastError = fake::kErrorInvalidParameter;
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    // The resource ends where its root block says, and never past what was copied.
    const std::size_t limit = std::min(known->second, resource_.size());
    std::optional<Block> current = ReadBlock(bytes, 0, limit);
    for (const std::wstring& component : Components(subBlock)) {
        if (!current) {
            break;
        }
        std::optional<Block> found;
        for (std::size_t at = current->childrenStart; at < current->end;) {
            std::optional<Block> child = ReadBlock(bytes, at, current->end);
            if (!child) {
                break;
            }
            if (SameKey(child->key, component)) {
                found = child;
                break;
            }
            at = child->next;
        }
        current = found;
    }
    if (!current || current->valueStart > known->second) {
        system_.lastError = fake::kErrorResourceTypeNotFound;
        return false;
    }
    std::uint32_t reported = current->valueLength;
    if (policy_ == Policy::Exact) {
        const std::size_t room = known->second - current->valueStart;
        const std::size_t fits = current->type == kTextType ? room / 2 : room;
        reported = static_cast<std::uint32_t>(std::min<std::size_t>(reported, fits));
    }
    value = bytes + current->valueStart;
    length = reported;
    answers.push_back({current->valueStart, reported});
    return true;
}

}  // namespace hf::fuzz

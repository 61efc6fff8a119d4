#include "inspect/VersionResource.h"

#include <algorithm>
#include <cstring>

namespace hf {

namespace {

constexpr std::uint16_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint16_t kVersionResourceName = 1;   // VS_VERSION_INFO
constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr std::uint32_t kMaxSections = 96;  // the most a PE image may have
constexpr std::uint32_t kMaxOptionalHeader = 0x1000;

std::uint16_t Word(const std::uint8_t* p) {
    std::uint16_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::uint32_t Dword(const std::uint8_t* p) {
    std::uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Exactly `size` bytes at `offset`, or nothing.
std::optional<std::vector<std::uint8_t>> ReadExactly(FileApi& files, FileHandle file,
                                                     std::uint64_t offset, std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t done = 0;
    while (done < size) {
        std::uint32_t read = 0;
        if (!files.ReadFile(file, offset + done, bytes.data() + done, size - done, read) ||
            read == 0) {
            return std::nullopt;
        }
        done += read;
    }
    return bytes;
}

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class Image {
  public:
    Image(FileApi& files, FileHandle file) : files_(files), file_(file) {}

    // The resource directory's place, from the headers; false for anything but a PE image.
    bool ReadHeaders(std::uint32_t& resourceRva) {
        const auto dos = ReadExactly(files_, file_, 0, 64);
        if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') {
            return false;
        }
        const std::uint64_t pe = Dword(dos->data() + 0x3C);
        const auto header = ReadExactly(files_, file_, pe, 24);
        if (!header || std::memcmp(header->data(), "PE\0\0", 4) != 0) {
            return false;
        }
        const std::uint32_t sections = Word(header->data() + 6);
        const std::uint32_t optionalSize = Word(header->data() + 20);
        if (sections > kMaxSections || optionalSize < 2 || optionalSize > kMaxOptionalHeader) {
            return false;
        }
        const auto optional = ReadExactly(files_, file_, pe + 24, optionalSize);
        if (!optional) {
            return false;
        }
        // PE32 and PE32+ differ in where the data directories start.
        std::uint32_t countAt = 0;
        switch (Word(optional->data())) {
            case 0x10B:
                countAt = 92;
                break;
            case 0x20B:
                countAt = 108;
                break;
            default:
                return false;
        }
        const std::uint32_t resourceEntry = countAt + 4 + 2 * 8;  // data directory 2
        if (optionalSize < resourceEntry + 8 || Dword(optional->data() + countAt) <= 2) {
            return false;
        }
        resourceRva = Dword(optional->data() + resourceEntry);
        const auto table = ReadExactly(files_, file_, pe + 24 + optionalSize, sections * 40);
        if (!table || resourceRva == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < sections; ++i) {
            const std::uint8_t* s = table->data() + i * 40;
            sections_.push_back({Dword(s + 12), Dword(s + 16), Dword(s + 20)});
        }
        return true;
    }

    // Where `size` bytes at `rva` lie in the file, when one section's raw data holds them all.
    std::optional<std::uint64_t> Offset(std::uint64_t rva, std::uint32_t size) const {
        for (const Section& s : sections_) {
            if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize &&
                s.rawSize - (rva - s.virtualAddress) >= size) {
                return std::uint64_t{s.rawOffset} + (rva - s.virtualAddress);
            }
        }
        return std::nullopt;
    }

    std::optional<std::vector<std::uint8_t>> Read(std::uint64_t rva, std::uint32_t size) const {
        const auto at = Offset(rva, size);
        if (!at) {
            return std::nullopt;
        }
        return ReadExactly(files_, file_, *at, size);
    }

  private:
    FileApi& files_;
    FileHandle file_;
    std::vector<Section> sections_;
};

// One entry of a resource directory: its id (or name), and where it leads.
struct Entry {
    std::uint32_t name;
    std::uint32_t offset;
};

// The entries of the directory at `offset` in the resource section starting at `rootRva`.
std::optional<std::vector<Entry>> ReadDirectory(const Image& image, std::uint64_t rootRva,
                                                std::uint32_t offset) {
    const auto header = image.Read(rootRva + offset, 16);
    if (!header) {
        return std::nullopt;
    }
    const std::uint32_t count =
        std::uint32_t{Word(header->data() + 12)} + Word(header->data() + 14);
    const auto raw = image.Read(rootRva + offset + 16, count * 8);
    if (!raw) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        entries.push_back({Dword(raw->data() + i * 8), Dword(raw->data() + i * 8 + 4)});
    }
    return entries;
}

const Entry* FindId(const std::vector<Entry>& entries, std::uint16_t id) {
    for (const Entry& entry : entries) {
        if ((entry.name & kSubdirectory) == 0 && entry.name == id) {
            return &entry;
        }
    }
    return nullptr;
}

std::size_t Align4(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

// A node of a version block, bounded by its parent: [begin, end).
struct Node {
    std::size_t begin;
    std::size_t end;
    std::size_t key;       // the first unit of its key
    std::size_t keyUnits;  // without the NUL
    std::size_t value;
    std::uint16_t valueLength;
    std::size_t children;
};

std::optional<Node> ReadNode(const std::vector<std::uint8_t>& block, std::size_t begin,
                             std::size_t limit) {
    if (begin + 6 > limit) {
        return std::nullopt;
    }
    const std::uint16_t length = Word(&block[begin]);
    if (length < 6 || length > limit - begin) {
        return std::nullopt;
    }
    Node node{begin, begin + length, begin + 6, 0, 0, Word(&block[begin + 2]), 0};
    std::size_t at = node.key;
    while (at + 2 <= node.end && Word(&block[at]) != 0) {
        at += 2;
    }
    if (at + 2 > node.end) {
        return std::nullopt;  // no NUL inside the node
    }
    node.keyUnits = (at - node.key) / 2;
    node.value = Align4(at + 2);
    const bool text = Word(&block[begin + 4]) == 1;
    node.children = Align4(node.value + std::size_t{node.valueLength} * (text ? 2 : 1));
    return node;
}

bool KeyIs(const std::vector<std::uint8_t>& block, const Node& node, std::wstring_view key) {
    if (node.keyUnits != key.size()) {
        return false;
    }
    auto fold = [](std::uint32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (fold(Word(&block[node.key + 2 * i])) != fold(static_cast<std::uint32_t>(key[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadVersionResource(FileApi& files, FileHandle file) {
    Image image(files, file);
    std::uint32_t root = 0;
    if (!image.ReadHeaders(root)) {
        return std::nullopt;
    }
    const auto types = ReadDirectory(image, root, 0);
    const Entry* type = types ? FindId(*types, kResourceTypeVersion) : nullptr;
    if (type == nullptr || (type->offset & kSubdirectory) == 0) {
        return std::nullopt;
    }
    const auto names = ReadDirectory(image, root, type->offset & ~kSubdirectory);
    const Entry* name = names ? FindId(*names, kVersionResourceName) : nullptr;
    if (name == nullptr || (name->offset & kSubdirectory) == 0) {
        return std::nullopt;
    }
    const auto languages = ReadDirectory(image, root, name->offset & ~kSubdirectory);
    if (!languages || languages->empty()) {
        return std::nullopt;
    }
    const Entry* language = FindId(*languages, kUsEnglish);
    if (language == nullptr) {
        language = &languages->front();
    }
    if ((language->offset & kSubdirectory) != 0) {
        return std::nullopt;
    }
    const auto data = image.Read(std::uint64_t{root} + language->offset, 16);
    if (!data) {
        return std::nullopt;
    }
    const std::uint32_t size = Dword(data->data() + 4);
    if (size == 0 || size > kMaxVersionBlock) {
        return std::nullopt;
    }
    return image.Read(Dword(data->data()), size);
}

bool FindVersionValue(const std::vector<std::uint8_t>& block, std::wstring_view subBlock,
                      const void*& value, std::uint32_t& length) {
    auto node = ReadNode(block, 0, block.size());
    while (node && !subBlock.empty()) {
        const std::size_t separator = std::min(subBlock.find(L'\\'), subBlock.size());
        const std::wstring_view key = subBlock.substr(0, separator);
        subBlock.remove_prefix(std::min(separator + 1, subBlock.size()));
        if (key.empty()) {
            continue;
        }
        std::optional<Node> found;
        for (std::size_t at = node->children; at < node->end;) {
            const auto child = ReadNode(block, at, node->end);
            if (!child) {
                break;
            }
            if (KeyIs(block, *child, key)) {
                found = child;
                break;
            }
            at = Align4(child->end);
        }
        node = found;
    }
    if (!node || node->value > node->end) {
        return false;
    }
    value = block.data() + node->value;
    length = node->valueLength;
    return true;
}

}  // namespace hf

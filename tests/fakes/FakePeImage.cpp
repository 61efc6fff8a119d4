#include "tests/fakes/FakePeImage.h"

#include <cstring>
#include <vector>

namespace hf::test {

namespace {

void Pad4(Bytes& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

void Put16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// One node: wLength, wValueLength, wType, the key with its NUL, padding, the value, padding,
// the children each padded to 32 bits; wLength counts up to the end of the last child.
Bytes Node(std::wstring_view key, bool text, const Bytes& value, std::uint16_t valueLength,
           const std::vector<Bytes>& children) {
    Bytes out(6, 0);
    AppendUtf16Le(out, Utf16Units(key));
    out.insert(out.end(), {0, 0});
    Pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    Put16(out, 0, static_cast<std::uint32_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, text ? 1 : 0);
    return out;
}

}  // namespace

Bytes VersionBlock(const fake::FakeVersionResource& resource) {
    Bytes fixed(52, 0);
    Put32(fixed, 0, 0xFEEF04BD);  // VS_FIXEDFILEINFO's signature
    Put32(fixed, 4, 0x00010000);
    std::vector<Bytes> tables;
    for (const auto& [translation, strings] : resource.strings) {
        std::vector<Bytes> entries;
        for (const auto& [key, value] : strings) {
            const Bytes text = Utf16Le(value);
            entries.push_back(
                Node(key, true, text, static_cast<std::uint16_t>(text.size() / 2), {}));
        }
        tables.push_back(Node(translation, true, {}, 0, entries));
    }
    std::vector<Bytes> children = {Node(L"StringFileInfo", true, {}, 0, tables)};
    if (resource.hasTranslation) {
        const Bytes& raw = resource.translation;
        children.push_back(
            Node(L"VarFileInfo", true, {}, 0,
                 {Node(L"Translation", false, raw, static_cast<std::uint16_t>(raw.size()), {})}));
    }
    return Node(L"VS_VERSION_INFO", false, fixed, 52, children);
}

Bytes VersionImage(const Bytes& block, std::uint16_t language) {
    constexpr std::uint32_t kPe = 0x40, kOptional = kPe + 24, kOptionalSize = 0xE0;
    constexpr std::uint32_t kSectionTable = kOptional + kOptionalSize;
    constexpr std::uint32_t kRaw = 0x200, kRva = 0x1000, kBlockAt = 0x58;
    const auto resourceSize = static_cast<std::uint32_t>(kBlockAt + block.size());
    Bytes image(kRaw + resourceSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, kPe);
    std::memcpy(&image[kPe], "PE\0\0", 4);
    Put16(image, kPe + 4, 0x14C);  // i386
    Put16(image, kPe + 6, 1);      // one section
    Put16(image, kPe + 20, kOptionalSize);
    Put16(image, kPe + 22, 0x2102);  // executable, 32-bit, a DLL
    Put16(image, kOptional, 0x10B);  // PE32
    Put32(image, kOptional + 92, 16);
    Put32(image, kOptional + 96 + 2 * 8, kRva);  // the resource directory
    Put32(image, kOptional + 96 + 2 * 8 + 4, resourceSize);
    std::memcpy(&image[kSectionTable], ".rsrc", 5);
    Put32(image, kSectionTable + 8, resourceSize);
    Put32(image, kSectionTable + 12, kRva);
    Put32(image, kSectionTable + 16, resourceSize);
    Put32(image, kSectionTable + 20, kRaw);
    Put32(image, kSectionTable + 36, 0x40000040);  // initialised data, readable
    // Three directories of one entry each: type 16, name 1, the language; then the data entry.
    const std::uint32_t levels[][2] = {{16, 0x80000018}, {1, 0x80000030}, {language, 0x48}};
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::uint32_t at = kRaw + i * 0x18;
        Put16(image, at + 14, 1);  // one id entry
        Put32(image, at + 16, levels[i][0]);
        Put32(image, at + 20, levels[i][1]);
    }
    Put32(image, kRaw + 0x48, kRva + kBlockAt);
    Put32(image, kRaw + 0x4C, static_cast<std::uint32_t>(block.size()));
    std::memcpy(&image[kRaw + kBlockAt], block.data(), block.size());
    return image;
}

}  // namespace hf::test

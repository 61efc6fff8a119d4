// The version resource read from an open file's own bytes: what a hostile file may claim about
// its headers, its resource directory and its version block. (The lookups in the block, over
// any bytes and against described resources, are fuzz_version_resource's.)

#include "inspect/VersionResource.h"

#include "inspect/VersionInfo.h"
#include "tests/fakes/FakePeImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace hf {
namespace {

using test::Bytes;

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

fake::FakeVersionResource Product(const std::wstring& version) {
    fake::FakeVersionResource resource;
    resource.AddTranslation(0x0409, 0x04B0).SetString(L"040904B0", L"ProductVersion", version);
    return resource;
}

// ProductVersion of `bytes` read as a file; nullopt when it has no version resource.
std::optional<std::wstring> ReadAsFile(const Bytes& bytes) {
    fake::FakeSystem system;
    fake::FakeFileSystem files(system);
    files.AddFile(L"C:\\x.dll").contents = bytes;
    const FileHandle file =
        files.CreateFileW(L"C:\\x.dll", kFileReadData, kFileShareAll, kOpenExisting, 0);
    const auto block = ReadVersionResource(files, file);
    files.CloseHandle(file);
    if (!block) {
        return std::nullopt;
    }
    return VersionString(*block, L"ProductVersion");
}

TEST(VersionResource, WhatAFileClaimsIsCheckedAgainstWhatItHolds) {
    const Bytes block = test::VersionBlock(Product(L"10.0.19041.388"));
    const Bytes image = test::VersionImage(block);
    auto changed = [&](std::function<void(Bytes&)> change) {
        Bytes bytes = image;
        change(bytes);
        return bytes;
    };
    // Offsets of the fake image: the PE header at 0x40, its one section header at 0x138, the
    // resource section at 0x200 (RVA 0x1000), the version's data entry at 0x248.
    const struct {
        const char* name;
        Bytes bytes;
        std::optional<std::wstring> version;
    } cases[] = {
        {"a well-formed image", image, L"10.0.19041.388"},
        {"another language only: its first", test::VersionImage(block, 0x0412), L"10.0.19041.388"},
        {"no MZ", changed([](Bytes& b) { b[0] = 'Z'; }), std::nullopt},
        {"the PE header past the end", changed([](Bytes& b) { Put32(b, 0x3C, 0x7FFFFFF0); }),
         std::nullopt},
        {"no PE signature", changed([](Bytes& b) { b[0x40] = 'X'; }), std::nullopt},
        {"neither PE32 nor PE32+", changed([](Bytes& b) { b[0x58] = 0x0C; }), std::nullopt},
        {"no section", changed([](Bytes& b) { b[0x46] = 0; }), std::nullopt},
        {"more sections than an image may have", changed([](Bytes& b) { b[0x46] = 97; }),
         std::nullopt},
        // The file holds all it claims: only the bound refuses it.
        {"a block larger than 65,535 bytes", changed([](Bytes& b) {
             b.resize(b.size() + 0x10000);
             Put32(b, 0x148, static_cast<std::uint32_t>(b.size() - 0x200));
             Put32(b, 0x24C, 0x10000);
         }),
         std::nullopt},
        {"a block of exactly 65,535 bytes", changed([](Bytes& b) {
             b.resize(0x248 + 0x10 + 0xFFFF);
             Put32(b, 0x148, static_cast<std::uint32_t>(b.size() - 0x200));
             Put32(b, 0x24C, 0xFFFF);
         }),
         L"10.0.19041.388"},
        {"a block of 4 GB", changed([](Bytes& b) { Put32(b, 0x24C, 0xFFFFFFFF); }), std::nullopt},
        {"a block outside every section", changed([](Bytes& b) { Put32(b, 0x248, 0x90000000); }),
         std::nullopt},
        {"a directory entry leading past the end",
         changed([](Bytes& b) { Put32(b, 0x214, 0xFFFFFFF0); }), std::nullopt},
        {"cut short inside the block", Bytes(image.begin(), image.end() - 8), std::nullopt},
        {"no resource type 16", changed([](Bytes& b) { b[0x210] = 6; }), std::nullopt},
        {"an empty file", Bytes{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.version, ReadAsFile(c.bytes)) << c.name;
    }
}

}  // namespace
}  // namespace hf

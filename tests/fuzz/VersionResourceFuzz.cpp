// Fuzz target: the version resource read from a file's own bytes (ReadVersionResource) and the
// lookups in its block (VersionString over FindVersionValue).
//
// The last input byte picks the mode.
//   File (even): the rest is a whole file. AddressSanitizer watches every read of the parser and
//   the lookups; whatever block is found holds at most 65,535 bytes and is bytes of the file,
//   and a lookup never points outside it.
//   Described (odd): the rest describes a version resource (a translation table of any length
//   or none, string tables under the first entry's text, "040904B0" and another, keys and
//   values of any text), built into a block and a well-formed PE image as the tests' fakes
//   build them. The parser must give back exactly that block, and each string read must be the
//   one the description implies: under the first translation, else under "040904B0", up to its
//   first NUL; nothing without a whole first entry.

#include "FuzzSupport.h"

#include "inspect/VersionInfo.h"
#include "inspect/VersionResource.h"
#include "platform/Platform.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakePeImage.h"
#include "tests/fakes/FakeSystem.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <optional>

namespace {

const std::array<std::wstring, 4> kKeys = {L"ProductName", L"OriginalFilename", L"ProductVersion",
                                           L"OriginalFileName"};

std::optional<std::vector<std::uint8_t>> ReadAsFile(const std::vector<std::uint8_t>& bytes) {
    hf::fake::FakeSystem system;
    hf::fake::FakeFileSystem files(system);
    files.AddFile(L"C:\\fuzz.dll").contents = bytes;
    const hf::FileHandle file = files.CreateFileW(L"C:\\fuzz.dll", hf::kFileReadData,
                                                  hf::kFileShareAll, hf::kOpenExisting, 0);
    auto block = hf::ReadVersionResource(files, file);
    files.CloseHandle(file);
    return block;
}

void LookupsStayInside(const std::vector<std::uint8_t>& block) {
    for (const wchar_t* path : {L"\\", L"\\VarFileInfo\\Translation", L"\\StringFileInfo",
                                L"\\StringFileInfo\\040904B0\\ProductName"}) {
        const void* value = nullptr;
        std::uint32_t length = 0;
        if (hf::FindVersionValue(block, path, value, length)) {
            const auto* at = static_cast<const std::uint8_t*>(value);
            HF_FUZZ_CHECK(at >= block.data() && at <= block.data() + block.size(),
                          "a value outside the block");
        }
    }
    for (const std::wstring& key : kKeys) {
        (void)hf::VersionString(block, key);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::vector<std::uint8_t> input(data, data + size - 1);
    if (data[size - 1] % 2 == 0) {
        const auto block = ReadAsFile(input);
        if (block) {
            HF_FUZZ_CHECK(!block->empty() && block->size() <= 0xFFFF, "a block of no bound");
            HF_FUZZ_CHECK(std::search(input.begin(), input.end(), block->begin(), block->end()) !=
                              input.end(),
                          "a block that is not bytes of the file");
            LookupsStayInside(*block);
        }
        return 0;
    }
    FuzzedDataProvider provider(input.data(), input.size());
    hf::fake::FakeVersionResource resource;
    const auto language = provider.ConsumeIntegral<std::uint16_t>();
    const auto codePage = provider.ConsumeIntegral<std::uint16_t>();
    const auto entryBytes = provider.ConsumeIntegralInRange<std::size_t>(0, 9);
    resource.hasTranslation = provider.ConsumeBool();
    resource.AddTranslation(language, codePage).AddTranslation(0x0409, 0x04B0);
    resource.translation.resize(entryBytes);
    wchar_t first[16];
    std::swprintf(first, 16, L"%04X%04X", static_cast<unsigned>(language),
                  static_cast<unsigned>(codePage));
    const std::wstring tables[] = {first, L"040904B0", L"041204B0"};
    while (provider.remaining_bytes() > 0) {
        const std::wstring& table = tables[provider.ConsumeIntegralInRange<int>(0, 2)];
        const std::wstring& key = kKeys[provider.ConsumeIntegralInRange<int>(0, 3)];
        resource.SetString(table, key, hf::fuzz::WideText(provider.ConsumeRandomLengthString(64)));
    }
    const hf::test::Bytes built = hf::test::VersionBlock(resource);
    if (built.size() > 0xFFFF) {
        return 0;
    }
    const auto block = ReadAsFile(hf::test::VersionImage(built));
    HF_FUZZ_CHECK(block && *block == built, "the image's version block was not read back whole");
    LookupsStayInside(*block);
    // Keys are found with a to z folded, the first of the table's (sorted) entries that fits.
    auto folded = [](std::wstring text) {
        for (wchar_t& c : text) {
            c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        }
        return text;
    };
    auto stored = [&](const std::wstring& table, const std::wstring& key) {
        const auto t = resource.strings.find(table);
        if (t != resource.strings.end()) {
            for (const auto& [name, value] : t->second) {
                if (folded(name) == folded(key)) {
                    return std::optional<std::wstring>(value.substr(0, value.find(L'\0')));
                }
            }
        }
        return std::optional<std::wstring>();
    };
    for (const std::wstring& key : kKeys) {
        std::wstring expected;
        if (resource.hasTranslation && entryBytes >= 4) {
            expected = stored(first, key).value_or(stored(L"040904B0", key).value_or(L""));
        }
        const std::wstring read = hf::VersionString(*block, key);
        HF_FUZZ_CHECK(read == expected, [&] {
            std::string why = "key " + hf::fuzz::Show(key) + ": read " + hf::fuzz::Show(read) +
                              ", described " + hf::fuzz::Show(expected) + "; first table " +
                              hf::fuzz::Show(first) + ", translation bytes " +
                              std::to_string(entryBytes) +
                              (resource.hasTranslation ? "" : " (no translation value)");
            for (const auto& [table, strings] : resource.strings) {
                for (const auto& [name, value] : strings) {
                    why += "; " + hf::fuzz::Show(table) + "\\" + hf::fuzz::Show(name) + " = " +
                           hf::fuzz::Show(value);
                }
            }
            return why;
        }());
    }
    return 0;
}

// Fuzz target: GetVersionString and GetOriginalFileName over hostile version resources.
//
// The last input byte picks the mode.
//   Raw (even): the rest of the input is a resource in the real VS_VERSIONINFO layout, read
//   through RawVersion (Windows sizing and lengths for one half of the inputs, exact sizing and
//   cut lengths for the other). AddressSanitizer watches every read; GetVersionString must not
//   raise, GetOriginalFileName may raise only EOSError, and both must give what a plain reading
//   through the same VerQueryValueW gives: the first translation entry as "%04X%04X", the string
//   under it (for GetVersionString, else under "040904B0"), copied up to its NUL or the block's
//   end, whatever length is reported.
//   Structured (odd): a resource described for the fake (FakeVersion): a translation table of
//   any length (or none), string tables under the first entry's text, "040904B0" and others,
//   values of any text, empty strings with or without their NUL (without one, the copy runs on
//   into what follows: compared with a plain reading of the block), any length reported for
//   the strings (which changes nothing), a file without a resource or whose size or read
//   fails. The results are compared with what the description implies.

#include "FuzzSupport.h"
#include "RawVersion.h"

#include "inspect/VersionInfo.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/FakeVersion.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cwchar>
#include <optional>

namespace {

using hf::fuzz::Show;

const std::wstring kPath = L"C:\\Windows\\Sysnative\\drivers\\fuzz.sys";
const std::array<std::wstring, 4> kQueriedKeys = {L"ProductName", L"OriginalFilename",
                                                  L"ProductVersion", L"OriginalFileName"};
constexpr std::uint32_t kErrorInvalidData = 13;

std::wstring TranslationText(std::uint16_t language, std::uint16_t codePage) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04X%04X", static_cast<unsigned>(language),
                  static_cast<unsigned>(codePage));
    return text;
}

std::wstring UpToNul(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

// What GetOriginalFileName gave: its text, or the code of the EOSError it raised.
struct Strict {
    std::optional<std::wstring> text;
    std::optional<std::uint32_t> error;
    bool operator==(const Strict&) const = default;
};

Strict CallStrict(const hf::Platform& platform) {
    Strict result;
    try {
        result.text = hf::GetOriginalFileName(platform, kPath);
    } catch (const hf::EOSError& e) {
        result.error = e.Code();
    }
    return result;
}

std::string ShowStrict(const Strict& s) {
    return s.text ? Show(*s.text) : "EOSError " + std::to_string(s.error.value_or(0));
}

// ---- raw resources ----

// A plain reading of a string value through the same VerQueryValueW: up to its first NUL or
// the block's end, whatever length the query reports.
std::optional<std::wstring> ReadString(hf::VersionApi& api, const std::vector<std::uint8_t>& block,
                                       const std::wstring& path) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    if (!api.VerQueryValueW(block.data(), path, value, length)) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(value);
    HF_FUZZ_CHECK(bytes >= block.data() && bytes <= block.data() + block.size(),
                  "VerQueryValueW pointed outside the block for " + Show(path));
    std::wstring units;
    for (std::size_t at = static_cast<std::size_t>(bytes - block.data()); at + 1 < block.size();
         at += 2) {
        const auto unit = static_cast<wchar_t>(block[at] | (block[at + 1] << 8));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    return hf::fuzz::JoinPairs(units);
}

void CheckRaw(const std::vector<std::uint8_t>& resource, hf::fuzz::RawVersion::Policy policy) {
    hf::fake::FakeSystem system;
    hf::fuzz::RawVersion version(system, kPath, resource, policy);
    hf::Platform platform;
    platform.system = &system;
    platform.version = &version;

    // The plain reading, on a block of its own.
    hf::fuzz::RawVersion reference(system, kPath, resource, policy);
    const std::uint32_t size = reference.GetFileVersionInfoSizeW(kPath);
    std::vector<std::uint8_t> block(size, 0);
    std::optional<std::wstring> translation;
    bool translationQueried = false;
    if (size != 0 && reference.GetFileVersionInfoW(kPath, size, block.data())) {
        const void* value = nullptr;
        std::uint32_t length = 0;
        translationQueried =
            reference.VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation\\", value, length);
        if (translationQueried && length >= 4) {
            const auto* entry = static_cast<const std::uint8_t*>(value);
            translation = TranslationText(static_cast<std::uint16_t>(entry[0] | (entry[1] << 8)),
                                          static_cast<std::uint16_t>(entry[2] | (entry[3] << 8)));
        }
    }

    for (const std::wstring& key : kQueriedKeys) {
        const std::wstring text = hf::GetVersionString(platform, kPath, key);
        std::wstring expected;
        if (translation) {
            expected =
                ReadString(reference, block, L"\\StringFileInfo\\" + *translation + L"\\" + key)
                    .value_or(ReadString(reference, block, L"\\StringFileInfo\\040904B0\\" + key)
                                  .value_or(L""));
        }
        HF_FUZZ_CHECK(text == expected, "GetVersionString(" + Show(key) + ") gave " + Show(text) +
                                            ", the resource says " + Show(expected));
    }

    Strict expected;
    if (size == 0) {
        expected.error = hf::fake::kErrorResourceDataNotFound;
    } else if (!translationQueried) {
        expected.error = hf::fake::kErrorResourceTypeNotFound;
    } else if (!translation) {
        expected.error = kErrorInvalidData;
    } else {
        expected.text = ReadString(reference, block,
                                   L"\\StringFileInfo\\" + *translation + L"\\OriginalFileName")
                            .value_or(L"");
    }
    const Strict strict = CallStrict(platform);
    HF_FUZZ_CHECK(strict == expected, "GetOriginalFileName gave " + ShowStrict(strict) +
                                          ", the resource says " + ShowStrict(expected));
}

// ---- described resources ----

const std::array<std::wstring, 6> kStoredKeys = {L"ProductName",      L"OriginalFilename",
                                                 L"OriginalFileName", L"ProductVersion",
                                                 L"FileDescription",  L"productname"};

bool SameAZ(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](wchar_t c) {
            return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// The first stored value whose table and key match with a-z folded, in the order the fake lays
// them out (tables, then keys, each in map order).
std::optional<std::wstring> Lookup(const hf::fake::FakeVersionResource& resource,
                                   const std::wstring& translation, const std::wstring& key) {
    for (const auto& [table, strings] : resource.strings) {
        if (!SameAZ(table, translation)) {
            continue;
        }
        for (const auto& [stored, value] : strings) {
            if (SameAZ(stored, key)) {
                return value;
            }
        }
    }
    return std::nullopt;
}

void CheckDescribed(FuzzedDataProvider& provider) {
    hf::fake::FakeSystem system;
    hf::fake::FakeFileSystem files(system);
    hf::fake::FakeVersion version(system, files);
    hf::Platform platform;
    platform.system = &system;
    platform.files = &files;
    platform.version = &version;

    const auto flags = provider.ConsumeIntegral<std::uint8_t>();
    hf::fake::FakeVersionResource resource;
    resource.hasTranslation = (flags & 0x01) == 0;
    version.bareEmptyStrings = (flags & 0x02) != 0;
    if ((flags & 0x80) != 0) {
        version.reportedStringLength = provider.ConsumeIntegral<std::uint32_t>();
    }
    const auto language = provider.ConsumeIntegral<std::uint16_t>();
    const auto codePage = provider.ConsumeIntegral<std::uint16_t>();
    if ((flags & 0x04) == 0) {
        resource.AddTranslation(language, codePage);
        if ((flags & 0x08) != 0) {
            resource.AddTranslation(codePage, language);  // a second entry, never consulted
        }
    } else {
        // A table of any length, cut short or not.
        resource.translation =
            provider.ConsumeBytes<std::uint8_t>(provider.ConsumeIntegralInRange<std::size_t>(0, 9));
    }
    const std::array<std::wstring, 4> tables = {TranslationText(language, codePage), L"040904B0",
                                                TranslationText(codePage, language), L"040904b0"};
    const auto entries = provider.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < entries; ++i) {
        const std::wstring& table = tables[provider.ConsumeIntegralInRange<std::size_t>(0, 3)];
        const std::wstring& key =
            kStoredKeys[provider.ConsumeIntegralInRange<std::size_t>(0, kStoredKeys.size() - 1)];
        const std::wstring value = hf::fuzz::WideText(provider.ConsumeRandomLengthString(64));
        resource.SetString(table, key, value);
    }
    const int failure = (flags >> 4) & 0x07;
    if (failure == 1) {
        files.AddFile(kPath);  // no resource at all
    } else {
        files.AddFile(kPath, resource);
    }
    if (failure == 2) {
        version.FailSize(kPath, hf::fake::kErrorAccessDenied);
    } else if (failure == 3) {
        version.FailRead(kPath, hf::fake::kErrorAccessDenied);
    }

    // What the description implies.
    const bool readable = failure < 1 || failure > 3;
    const std::uint32_t readError =
        failure == 1 ? hf::fake::kErrorResourceDataNotFound : hf::fake::kErrorAccessDenied;
    std::optional<std::wstring> first;
    if (readable && resource.hasTranslation && resource.translation.size() >= 4) {
        const auto& t = resource.translation;
        first = TranslationText(static_cast<std::uint16_t>(t[0] | (t[1] << 8)),
                                static_cast<std::uint16_t>(t[2] | (t[3] << 8)));
    }
    // What the stored value reads as: up to its NUL; an empty one stored without its NUL runs
    // on into whatever follows it in the fake's block, so that is read plainly.
    auto expect = [&](const std::wstring& translation,
                      const std::wstring& key) -> std::optional<std::wstring> {
        const std::optional<std::wstring> stored = Lookup(resource, translation, key);
        if (!stored || !stored->empty() || !version.bareEmptyStrings) {
            return stored ? std::optional(UpToNul(*stored)) : std::nullopt;
        }
        std::vector<std::uint8_t> block(version.GetFileVersionInfoSizeW(kPath), 0);
        HF_FUZZ_CHECK(version.GetFileVersionInfoW(kPath, static_cast<std::uint32_t>(block.size()),
                                                  block.data()),
                      std::string("the fake's resource could not be read again"));
        return ReadString(version, block, L"\\StringFileInfo\\" + translation + L"\\" + key);
    };
    for (const std::wstring& key : kQueriedKeys) {
        std::wstring expected;
        if (first) {
            expected = expect(*first, key).value_or(expect(L"040904B0", key).value_or(L""));
        }
        const std::wstring text = hf::GetVersionString(platform, kPath, key);
        HF_FUZZ_CHECK(text == expected, "GetVersionString(" + Show(key) + ") gave " + Show(text) +
                                            ", the description says " + Show(expected));
    }
    Strict expected;
    if (!readable) {
        expected.error = readError;
    } else if (!resource.hasTranslation) {
        expected.error = version.queryFailureError;
    } else if (!first) {
        expected.error = kErrorInvalidData;
    } else {
        expected.text = expect(*first, L"OriginalFileName").value_or(L"");
    }
    const Strict strict = CallStrict(platform);
    HF_FUZZ_CHECK(strict == expected, "GetOriginalFileName gave " + ShowStrict(strict) +
                                          ", the description says " + ShowStrict(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const auto mode = provider.ConsumeIntegral<std::uint8_t>();
    if ((mode & 1) == 0) {
        const auto policy = (mode & 2) == 0 ? hf::fuzz::RawVersion::Policy::Windows
                                            : hf::fuzz::RawVersion::Policy::Exact;
        CheckRaw(provider.ConsumeRemainingBytes<std::uint8_t>(), policy);
    } else {
        CheckDescribed(provider);
    }
    return 0;
}

// Fuzz target: TRegistry::GetDataAsString over any value type and any bytes, on the fake
// registry.
//
// Input (from the end): a type selector (the common types, or any 32-bit type), a case byte,
// the value name's length; then the name as wide text and the rest as the value's bytes.
// Each case compares the text with a plain reading of the formatting rules:
//   REG_SZ / REG_EXPAND_SZ: the UTF-16 units up to the first NUL (an odd last byte belongs to
//     no unit); REG_DWORD: the little-endian bytes (at most four, fewer zero-filled) as a
//     signed decimal; every other type: each byte as two upper-case hex digits, joined by ',';
//     no data at all: empty text.
// The cases: the value read directly; read under a name differing only in a-z case; a name
// that is not there (empty text); no key open (empty text); the data read failing after the
// size was taken (ERegistryException "Failed to get data for '<name>'", nothing else).

#include "FuzzSupport.h"

#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "services/Registry.h"
#include "tests/fakes/FakeRegistry.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>

namespace {

using hf::fuzz::Show;
namespace reg = hf::reg;

constexpr wchar_t kKeyPath[] = L"SYSTEM\\CurrentControlSet\\Services\\fuzz";

std::wstring ExpectedText(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return {};
    }
    if (type == reg::kTypeSz || type == reg::kTypeExpandSz) {
        std::wstring units;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
            if (unit == 0) {
                break;
            }
            units.push_back(unit);
        }
        return hf::fuzz::JoinPairs(units);
    }
    if (type == reg::kTypeDword) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
            value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        }
        return std::to_wstring(static_cast<std::int32_t>(value));
    }
    std::wstring hex;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        wchar_t digits[4];
        std::swprintf(digits, 4, L"%02X", static_cast<unsigned>(bytes[i]));
        hex += (i > 0 ? L"," : L"") + std::wstring(digits);
    }
    return hex;
}

// The name with its a-z letters in the other case: the registry matches it all the same.
std::wstring OtherCase(const std::wstring& name) {
    std::wstring out = name;
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        } else if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    static constexpr std::array<std::uint32_t, 9> kTypes = {
        reg::kTypeSz,      reg::kTypeExpandSz, reg::kTypeDword,
        reg::kTypeBinary,  reg::kTypeNone,     reg::kTypeDwordBigEndian,
        reg::kTypeMultiSz, reg::kTypeQword,    6};
    const auto typeSelector = provider.ConsumeIntegral<std::uint8_t>();
    const std::uint32_t type = typeSelector < 240 ? kTypes[typeSelector % kTypes.size()]
                                                  : provider.ConsumeIntegral<std::uint32_t>();
    const auto which = provider.ConsumeIntegralInRange<int>(0, 4);
    const auto nameLength = provider.ConsumeIntegralInRange<std::size_t>(0, 16);
    const std::wstring name = hf::fuzz::WideText(provider.ConsumeBytesAsString(nameLength));
    const std::vector<std::uint8_t> bytes = provider.ConsumeRemainingBytes<std::uint8_t>();

    hf::fake::FakeRegistry registry;
    // A neighbour the reads must never pick up instead (replaced if the name is the same).
    registry.SetString(kKeyPath,
                       L"\x1F"
                       L"decoy",
                       L"decoy");
    registry.SetValue(kKeyPath, name, type, bytes);
    hf::Platform platform;
    platform.registry = &registry;

    const std::wstring expected = ExpectedText(type, bytes);
    {
        hf::TRegistry cursor(platform);
        std::wstring asked = name;
        std::wstring want = expected;
        switch (which) {
            case 0:
                break;
            case 1:
                asked = OtherCase(name);
                break;
            case 2:
                asked = name + L"\x1F";  // no such value
                want.clear();
                break;
            case 3:
                want.clear();  // no key opened
                break;
            case 4:
                registry.FindKey(kKeyPath)->failDataRead[name] = reg::kErrorAccessDenied;
                break;
        }
        if (which != 3) {
            HF_FUZZ_CHECK(cursor.OpenKey(std::wstring(L"\\") + kKeyPath, false),
                          "the key cannot be opened");
        }
        std::wstring text;
        std::wstring error;
        try {
            text = cursor.GetDataAsString(asked);
        } catch (const hf::ERegistryException& e) {
            error = e.Message();
        }
        if (which == 4 && !bytes.empty()) {
            const std::wstring message = L"Failed to get data for '" + name + L"'";
            HF_FUZZ_CHECK(error == message, "a failed read of " + Show(name) + " gave " +
                                                Show(error) + " (text " + Show(text) + ")");
        } else {
            HF_FUZZ_CHECK(error.empty(), "unexpected registry error " + Show(error));
            HF_FUZZ_CHECK(text == want, "GetDataAsString(" + Show(asked) + ") of type " +
                                            std::to_string(type) + " gave " + Show(text) +
                                            ", expected " + Show(want));
        }
    }
    HF_FUZZ_CHECK(registry.OpenHandles() == 0, "the cursor left a key open");
    return 0;
}

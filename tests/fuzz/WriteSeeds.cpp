// Writes the seed corpus of every fuzz target: realistic inputs in each target's input layout.
// Usage: fuzz_write_seeds <corpus folder>   (normally tests/fuzz/corpus)
// The control bytes each target reads from the end of its input (FuzzedDataProvider takes
// integers from the back) are appended here in reverse order of reading.

#include "platform/Text.h"
#include "tests/fakes/Utf16Le.h"
#include "tests/unit/tasks/TaskXml.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using hf::test::TaskXml;
using hf::test::Utf16Le;

fs::path gRoot;

Bytes Utf8(const std::wstring& text) {
    const std::string utf8 = hf::Utf16ToUtf8(text);
    return Bytes(utf8.begin(), utf8.end());
}

Bytes Raw(std::string_view bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

// Appends the control values in the order the target reads them (the first read is last).
Bytes WithTail(Bytes body, std::initializer_list<std::uint8_t> readOrder) {
    const std::vector<std::uint8_t> values(readOrder);
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        body.push_back(*it);
    }
    return body;
}

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path folder = gRoot / target;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// ---- field splitting: text, then a 32-bit quoting mask ----

void FieldSplitSeeds() {
    const std::vector<std::pair<std::string, std::wstring>> texts = {
        {"bare", L"abc12345.dll,Qw3rty7890"},
        {"quoted_path", L"\"C:\\Users\\a b\\abc12345.dll\",Qw3rty7890"},
        {"leading_blank", L"abc12345.dll, Qw3rty7890"},
        {"control_rundll", L"shell32.dll,Control_RunDLL"},
        {"doubled_quotes", L"\"a\"\"b\",c,"},
        {"unclosed", L"\"unclosed,x"},
        {"after_quote",
         L"\"q\"tail,x\x1F"
         L"second, field\x1F\"third\""},
        {"hyphen", L"C:\\x\\my-lib.dll,Start"},
        {"korean_nul", std::wstring(L"\uB77C\uC774\uBE0C.dll,\uD56D\uBAA9") + L'\0' + L"x,"},
        {"empty_fields", L",,"},
    };
    for (const auto& [name, text] : texts) {
        Write("fuzz_field_split", name, WithTail(Utf8(text), {0, 0, 0, 0}));
    }
    Write("fuzz_field_split", "all_quoted",
          WithTail(Utf8(L"a,b\x1F"
                        L"c"),
                   {0xFF, 0xFF, 0xFF, 0xFF}));
}

// ---- text: bytes read as UTF-8, UTF-16 units and 32-bit values ----

void TextSeeds() {
    Write("fuzz_text", "ascii", Raw("C:\\Windows\\System32\\abc12345.dll"));
    Write("fuzz_text", "korean", Utf8(L"\uC2DC\uC791 \uC624\uB958"));
    Write("fuzz_text", "astral", Utf8(L"\U0001F600x\U00010000"));
    Write("fuzz_text", "invalid_utf8",
          Raw("\xC0\x80\xED\xA0\x80\xF4\x90\x80\x80\xE0\xA0"
              "A\xFF"));
    // UTF-16LE: 'a', a lone high surrogate, 'b', a pair, a lone low surrogate.
    Write("fuzz_text", "utf16_surrogates",
          Bytes{0x61, 0x00, 0x00, 0xD8, 0x62, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC});
    Write("fuzz_text", "trailing_blanks", Raw("message. \r\n\t.."));
}

// ---- patterns: subject (or pattern NUL subject), then a mode byte ----

void PatternSeeds() {
    const std::vector<std::pair<std::string, std::wstring>> subjects = {
        {"path_dll", L"C:\\Users\\Public\\abc123.dll"},
        {"hyphen_dll", L"C:\\x\\my-lib.dll"},
        {"any_char_dll", L"abc_dll,Start"},
        {"name8", L"ab12cd34"},
        {"name8_lf", L"ab12cd34\n"},
        {"name8_crlf", L"ab12cd34\r\n"},
        {"name8_ls", L"ab12cd34\u2028"},
        {"entry10", L"Qw3rty7890"},
        {"no_digit", L"abcdefgh"},
        {"seven", L"ab12cd3"},
        {"accented", L"ab12cd3\u00E9"},
        {"caps_dll", L"ABC12345.DLL"},
        {"newline_before_dll", L"abc\ndll"},
    };
    for (const auto& [name, subject] : subjects) {
        Write("fuzz_patterns", name, WithTail(Utf8(subject), {0}));
    }
    // Long fields: the class ending in "dl" (no match, the unanchored search's worst case), and
    // one with "dll" in reach of the run, so the engine backs off through all of it.
    const std::wstring run(30000, L'a');
    Write("fuzz_patterns", "long_run_dl", WithTail(Utf8(run + L"dl"), {0}));
    Write("fuzz_patterns", "long_run_lf_dll", WithTail(Utf8(run + L"\ndll"), {1}));
    // Mode 4: pieces (repeat / 16, little-endian; length; text) into about 2^16 characters.
    auto piece = [](std::uint16_t repeat, std::string_view text) {
        Bytes out{static_cast<std::uint8_t>(repeat & 0xFF), static_cast<std::uint8_t>(repeat >> 8),
                  static_cast<std::uint8_t>(text.size())};
        out.insert(out.end(), text.begin(), text.end());
        return out;
    };
    auto pieces = [](std::initializer_list<Bytes> list) {
        Bytes out;
        for (const Bytes& p : list) {
            out.insert(out.end(), p.begin(), p.end());
        }
        return out;
    };
    Write("fuzz_patterns", "repeat_run_dl",
          WithTail(pieces({piece(4095, "a"), piece(0, "dl")}), {4}));
    Write("fuzz_patterns", "repeat_run_lf_dll",
          WithTail(pieces({piece(4095, "a"), piece(0, "\ndll")}), {4}));
    Write("fuzz_patterns", "repeat_short_runs",
          WithTail(pieces({piece(1365, "ab-"), piece(0, "x.dll")}), {4}));
    Write("fuzz_patterns", "repeat_no_class", WithTail(pieces({piece(4096, ",")}), {4}));
    const std::vector<std::pair<std::string, std::wstring>> pairs = {
        {"empty_only", L"a*|bbb"},     {"library", L"[a-zA-Z0-9.]*.dll|x.dll"},
        {"unbalanced", L"(|abc"},      {"empty_pattern", L"|abc"},
        {"lookbehind", L"(?<=a)b|ab"}, {"backslash_c", L"\\C|\u00E9"},
        {"keep_out", L"a\\Kb|ab"},     {"groups", L"(a)(b)?(c)|ac"},
    };
    for (auto [name, text] : pairs) {
        text[text.find(L'|')] = L'\0';
        Write("fuzz_patterns", "any_" + name, WithTail(Utf8(text), {3}));
    }
}

// ---- registry data: name, data, then name length, case, type selector ----

void RegistrySeed(const std::string& name, const std::string& valueName, Bytes data,
                  std::uint8_t typeSelector, std::uint8_t which) {
    Bytes body = Raw(valueName);
    body.insert(body.end(), data.begin(), data.end());
    Write("fuzz_registry_data", name,
          WithTail(body, {typeSelector, which, static_cast<std::uint8_t>(valueName.size())}));
}

void RegistrySeeds() {
    // Type selectors: 0 REG_SZ, 1 REG_EXPAND_SZ, 2 REG_DWORD, 3 REG_BINARY, 7 REG_QWORD.
    RegistrySeed("image_path", "ImagePath", Utf16Le(L"system32\\drivers\\hfFilter.sys", true), 1,
                 0);
    RegistrySeed("sz_unterminated", "ImagePath", Utf16Le(L"abc", false), 0, 1);
    RegistrySeed("sz_odd", "Description", Bytes{0x41, 0x00, 0x42}, 0, 0);
    RegistrySeed("sz_inner_nul", "x", Utf16Le(std::wstring(L"ab") + L'\0' + L"cd", true), 0, 0);
    RegistrySeed("dword_minus_one", "Start", Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 2, 0);
    RegistrySeed("dword_short", "Type", Bytes{0x01, 0x02}, 2, 0);
    RegistrySeed("binary", "FailureActions", Bytes{0x00, 0x0A, 0xFF, 0x10}, 3, 0);
    RegistrySeed("qword", "Q", Bytes{1, 2, 3, 4, 5, 6, 7, 8}, 7, 0);
    RegistrySeed("read_fails", "ImagePath", Utf16Le(L"x", true), 1, 4);
    RegistrySeed("missing", "ImagePath", Utf16Le(L"x", true), 0, 2);
    RegistrySeed("no_key", "ImagePath", Utf16Le(L"x", true), 0, 3);
}

// ---- version resources ----

struct Block {
    std::wstring key;
    Bytes value;
    bool text = false;
    std::vector<Block> children;
    std::optional<std::uint16_t> valueLength;  // overrides what is stored
};

void Pad(Bytes& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

void PutWord(Bytes& out, std::size_t at, std::size_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void Serialise(const Block& block, Bytes& out) {
    Pad(out);
    const std::size_t start = out.size();
    out.resize(start + 6, 0);
    const std::size_t stored = block.text ? block.value.size() / 2 : block.value.size();
    PutWord(out, start + 2, block.valueLength.value_or(static_cast<std::uint16_t>(stored)));
    PutWord(out, start + 4, block.text ? 1 : 0);
    const Bytes key = Utf16Le(block.key, true);
    out.insert(out.end(), key.begin(), key.end());
    Pad(out);
    out.insert(out.end(), block.value.begin(), block.value.end());
    for (const Block& child : block.children) {
        Serialise(child, out);
    }
    PutWord(out, start, out.size() - start);
}

Block String(const std::wstring& key, const std::wstring& value) {
    return Block{key, Utf16Le(value, true), true, {}, std::nullopt};
}

Bytes Resource(std::uint16_t language, std::vector<Block> strings,
               std::optional<Bytes> translation) {
    Block root{L"VS_VERSION_INFO", Bytes(52, 0), false, {}, std::nullopt};
    root.value[0] = 0xBD;  // the fixed-information signature 0xFEEF04BD
    root.value[1] = 0x04;
    root.value[2] = 0xEF;
    root.value[3] = 0xFE;
    wchar_t table[16];
    std::swprintf(table, 16, L"%04X04B0", static_cast<unsigned>(language));
    root.children.push_back(Block{L"StringFileInfo",
                                  {},
                                  true,
                                  {Block{table, {}, true, std::move(strings), std::nullopt}},
                                  std::nullopt});
    if (translation) {
        root.children.push_back(
            Block{L"VarFileInfo",
                  {},
                  true,
                  {Block{L"Translation", *translation, false, {}, std::nullopt}},
                  std::nullopt});
    }
    Bytes out;
    Serialise(root, out);
    return out;
}

Bytes Translation(std::uint16_t language) {
    return Bytes{static_cast<std::uint8_t>(language & 0xFF),
                 static_cast<std::uint8_t>(language >> 8), 0xB0, 0x04};
}

void VersionSeeds() {
    const std::vector<Block> driver = {String(L"ProductName", L"hf Filter"),
                                       String(L"OriginalFilename", L"hfFilter.sys"),
                                       String(L"ProductVersion", L"10.0.19041.388")};
    // Mode byte: 0 raw with Windows sizing, 2 raw with exact sizing, odd: described.
    Write("fuzz_version_info", "driver_windows",
          WithTail(Resource(0x0409, driver, Translation(0x0409)), {0}));
    Write("fuzz_version_info", "driver_exact",
          WithTail(Resource(0x0409, driver, Translation(0x0409)), {2}));
    Write("fuzz_version_info", "korean_table",
          WithTail(Resource(0x0412, driver, Translation(0x0412)), {0}));
    Write("fuzz_version_info", "no_translation",
          WithTail(Resource(0x0409, driver, std::nullopt), {0}));
    Write("fuzz_version_info", "short_translation",
          WithTail(Resource(0x0409, driver, Bytes{0x09, 0x04}), {2}));
    std::vector<Block> odd = {
        String(L"ProductName", L""),
        Block{L"OriginalFileName", Utf16Le(L"no terminator", false), true, {}, std::nullopt},
        Block{L"ProductVersion", Utf16Le(L"1", true), true, {}, std::uint16_t{0x7FFF}}};
    Write("fuzz_version_info", "odd_strings_windows",
          WithTail(Resource(0x0409, odd, Translation(0x0409)), {0}));
    Write("fuzz_version_info", "odd_strings_exact",
          WithTail(Resource(0x0409, odd, Translation(0x0409)), {2}));
    // Described resources: flags, language, code page, entry count, then per entry table, key.
    Write("fuzz_version_info", "described_plain",
          WithTail(Utf8(L"hfFilter.sys"), {1, 0x00, 0x04, 0x09, 0x04, 0xB0, 3, 0, 1, 1, 0, 1, 2}));
    Write("fuzz_version_info", "described_short_table",
          WithTail(Raw("\x09\x04\x12"), {1, 0x04, 0x04, 0x12, 0x04, 0xB0, 3}));
}

// ---- task definitions: the XML, then eight planting bytes, skip, failure, flags ----

const std::wstring kSystem32 = L"C:\\Windows\\System32\\";
const std::wstring kPowerShell = kSystem32 + L"WindowsPowerShell\\";
const std::wstring kRundll32 = kSystem32 + L"rundll32.exe";

void TaskSeed(const std::string& name, const std::wstring& xml, std::uint8_t plant,
              std::uint8_t flags = 0, std::uint8_t failure = 0, std::uint8_t skip = 0) {
    Write("fuzz_exec_actions", name,
          WithTail(Utf8(xml),
                   {flags, failure, skip, plant, plant, plant, plant, plant, plant, plant, plant}));
}

void TaskSeeds() {
    // Long library fields: 100,000 characters of the class ending in "dl", and 30,000 with
    // "dll" in reach of the run.
    TaskSeed("long_library_field",
             TaskXml().Exec(kRundll32, std::wstring(100000, L'a') + L"dl,Qw3rty7890").Build(), 1);
    TaskSeed("long_library_field_dll",
             TaskXml().Exec(kRundll32, std::wstring(30000, L'b') + L"\ndll,Qw3rty7890").Build(), 1);
    TaskSeed("name_branch", TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build(), 1);
    TaskSeed(
        "name_branch_path",
        TaskXml().Exec(kRundll32, L"C:\\Users\\u\\AppData\\Local\\abc12345.dll,Qw3rty7890").Build(),
        1);
    TaskSeed("name_branch_slash",
             TaskXml().Exec(kRundll32, L"spool/abc12345.dll,Qw3rty7890").Build(), 1);
    TaskSeed("quoted_path",
             TaskXml().Exec(kRundll32, L"\"C:\\Users\\a b\\abc12345.dll\",Qw3rty7890").Build(), 2);
    TaskSeed("version_branch", TaskXml().Exec(kRundll32, L"abcdefgh.dll,Qw3rty7890").Build(), 3);
    TaskSeed("version_branch_old", TaskXml().Exec(kRundll32, L"abc1234.dll,Qw3rty7890").Build(), 4);
    TaskSeed("control_rundll", TaskXml().Exec(kRundll32, L"shell32.dll,Control_RunDLL").Build(), 2);
    TaskSeed("no_comma", TaskXml().Exec(kRundll32, L"abc12345.dll").Build(), 5);
    TaskSeed("no_arguments", TaskXml().Exec(kRundll32).Build(), 1);
    TaskSeed("batch_rule",
             TaskXml()
                 .Exec(kPowerShell + L"abc", L"/c \"" + kPowerShell + L"abc\"")
                 .Exec(kRundll32, L"abc12345.dll,Qw3rty7890")
                 .Build(),
             1);
    TaskSeed("batch_to_loader",
             TaskXml().Exec(kPowerShell + L"abc", L"abc12345.dll,Qw3rty7890,rundll32.exe").Build(),
             1);
    TaskSeed("user_script",
             TaskXml()
                 .UserId(hf::test::kUserSid)
                 .Exec(L"%windir%\\system32\\cscript.exe", L"\"" + kPowerShell + L"a.vbs\"")
                 .Build(),
             0);
    TaskSeed("user_script_switch",
             TaskXml()
                 .UserId(L"s-1-5-21-1-2-3-1001")
                 .Exec(L"cscript.exe", L"//B " + kPowerShell + L"a.vbs")
                 .Build(),
             0);
    TaskSeed("user_wscript",
             TaskXml()
                 .UserId(hf::test::kUserSid)
                 .Exec(L"wscript.exe", L"\"" + kPowerShell + L"a.vbs\"")
                 .Build(),
             0);
    TaskSeed("system_script",
             TaskXml()
                 .UserId(L"S-1-5-18")
                 .Exec(L"cscript.exe", L"\"" + kPowerShell + L"a.vbs\"")
                 .Build(),
             0);
    TaskSeed("hidden_deep", TaskXml().Hidden().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build(),
             1, 0x07);
    TaskSeed("injected_failure", TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build(), 1,
             0, 160 + 2, 0);
    TaskSeed(
        "korean_nul",
        TaskXml().Exec(kRundll32, std::wstring(L"\uB77C\uC774.dll,\uD56D") + L"\uFFFF").Build(), 1);
    std::wstring broken = TaskXml().Exec(kRundll32, L"abc12345.dll,Qw3rty7890").Build();
    broken.resize(broken.size() - 20);
    TaskSeed("truncated", broken, 1);
    TaskSeed("bare_minimum",
             L"<Task><Actions><Exec><Command>rundll32.exe</Command><Arguments>a1b2c3d4.dll,"
             L"Qw3rty7890</Arguments></Exec></Actions></Task>",
             1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    gRoot = argv[1];
    FieldSplitSeeds();
    TextSeeds();
    PatternSeeds();
    RegistrySeeds();
    VersionSeeds();
    TaskSeeds();
    return 0;
}

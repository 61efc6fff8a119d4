#pragma once
// TPerlRegEx: a small regular-expression object over PCRE2 (8-bit code units, UTF-8 mode, any
// line break as newline, no JIT). Pattern and subject are UTF-8; positions are 1-based bytes.

#include "platform/UniqueHandle.h"

#include <pcre2.h>

#include <array>
#include <cstdint>
#include <string>

namespace hf {

// Compile options (a set); only the empty default is used.
using TPerlRegExOptions = std::uint8_t;
enum TPerlRegExOption : TPerlRegExOptions {
    preCaseLess = 1u << 0,
    preMultiLine = 1u << 1,
    preSingleLine = 1u << 2,
    preExtended = 1u << 3,
    preAnchored = 1u << 4,
    preUnGreedy = 1u << 5,
    preNoAutoCapture = 1u << 6,
};

// Match-time flags (a set).
using TPerlRegExState = std::uint8_t;
enum TPerlRegExStateFlag : TPerlRegExState {
    preNotBOL = 1u << 0,
    preNotEOL = 1u << 1,
    preNotEmpty = 1u << 2,
};

namespace pcre {

struct CodeTraits {
    using Handle = pcre2_code*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle code) const noexcept { pcre2_code_free(code); }
};

struct TablesTraits {
    using Handle = const std::uint8_t*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle tables) const noexcept { pcre2_maketables_free(nullptr, tables); }
};

struct CompileContextTraits {
    using Handle = pcre2_compile_context*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle context) const noexcept { pcre2_compile_context_free(context); }
};

struct MatchDataTraits {
    using Handle = pcre2_match_data*;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle data) const noexcept { pcre2_match_data_free(data); }
};

}  // namespace pcre

class TPerlRegEx {
  public:
    // The offsets vector handed to the engine: 300 integers, of which the engine may fill two
    // thirds with start/end pairs (the last third was its workspace), so room for the whole
    // match and 99 groups. A match that sets the 100th group does not fit and is no match.
    static constexpr int kOffsetRoom = 300;
    static constexpr int kOffsetPairs = kOffsetRoom / 3;

    // Builds the object's own character tables (C locale classification: \d is 0-9 only).
    TPerlRegEx();
    TPerlRegEx(const TPerlRegEx&) = delete;
    TPerlRegEx& operator=(const TPerlRegEx&) = delete;
    ~TPerlRegEx() = default;  // releases the compiled pattern, then the tables

    const std::string& RegEx() const noexcept { return FRegEx; }
    // A value equal to the current one changes nothing; a new one drops the compiled form.
    void SetRegEx(const std::string& regEx);

    const std::string& Subject() const noexcept { return FSubject; }
    // Stores the subject, searched from its first byte to its end; forgets the last match.
    void SetSubject(const std::string& subject);

    // Compiles RegEx; hf::Exception when it is empty or the engine rejects it.
    void Compile();
    // Searches the whole subject once (compiling first if needed). An empty match is never
    // accepted; every engine error counts as no match.
    bool Match();
    // As Match, but tries the pattern only at 1-based byte position `start` (anchored there)
    // and hands the engine only the subject's first `stop` bytes, so it reads nothing past
    // them. Both must lie on character boundaries; a range outside the subject is no match.
    bool MatchAnchored(int start, int stop);
    // The matched bytes; hf::Exception "REQUIRE: There must be a successful match first" when
    // the last Match did not succeed.
    std::string MatchedText() const;

    bool Compiled() const noexcept { return FCompiled; }
    bool Studied() const noexcept { return FStudied; }
    TPerlRegExOptions Options() const noexcept { return FOptions; }
    TPerlRegExState State() const noexcept { return FState; }
    int Start() const noexcept { return FStart; }
    int Stop() const noexcept { return FStop; }
    int OffsetCount() const noexcept { return FOffsetCount; }
    int Offset(int index) const { return Offsets.at(index); }
    std::uint32_t PcreOptions() const noexcept { return pcreOptions; }

  private:
    void CleanUp();
    bool Execute(int start, int stop, std::uint32_t flags);

    bool FCompiled = false;
    bool FStudied = false;  // study data is never made
    TPerlRegExOptions FOptions = 0;
    TPerlRegExState FState = preNotEmpty;
    std::string FRegEx;
    std::string FSubject;
    int FStart = 0;
    int FStop = 0;
    std::array<int, kOffsetRoom + 1> Offsets{};
    int FOffsetCount = 0;
    std::uint32_t pcreOptions = PCRE2_UTF;  // the newline convention lives in the compile context
    // Declared before the pattern, so the pattern that refers to them goes first.
    UniqueHandle<pcre::TablesTraits> chartable;
    UniqueHandle<pcre::CodeTraits> pattern;
    // Kept for the object's life: the engine keeps its backtracking memory here between calls.
    UniqueHandle<pcre::MatchDataTraits> matchData;
};

}  // namespace hf

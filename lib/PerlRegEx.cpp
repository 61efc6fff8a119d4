#include "lib/PerlRegEx.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <new>

namespace hf {

TPerlRegEx::TPerlRegEx()
    : chartable(pcre::TablesTraits{}, pcre2_maketables(nullptr)),
      matchData(pcre::MatchDataTraits{}, pcre2_match_data_create(kOffsetPairs, nullptr)) {
    if (!chartable || !matchData) {
        throw std::bad_alloc();
    }
}

void TPerlRegEx::CleanUp() {
    FCompiled = false;
    FStudied = false;
    pattern.reset();
    FOffsetCount = 0;
}

void TPerlRegEx::SetRegEx(const std::string& regEx) {
    if (regEx == FRegEx) {
        return;
    }
    FRegEx = regEx;
    CleanUp();
}

void TPerlRegEx::SetSubject(const std::string& subject) {
    FSubject = subject;
    FStart = 1;
    FStop = static_cast<int>(FSubject.size());
    FOffsetCount = 0;
}

void TPerlRegEx::Compile() {
    if (FRegEx.empty()) {
        throw Exception(
            L"TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    CleanUp();
    UniqueHandle<pcre::CompileContextTraits> context(pcre::CompileContextTraits{},
                                                     pcre2_compile_context_create(nullptr));
    if (!context) {
        throw std::bad_alloc();
    }
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANY);
    pcre2_set_character_tables(context.get(), chartable.get());

    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pattern.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(FRegEx.data()), FRegEx.size(),
                                pcreOptions, &errorCode, &errorOffset, context.get()));
    if (!pattern) {
        PCRE2_UCHAR text[256] = {};
        if (pcre2_get_error_message(errorCode, text, sizeof text) < 0) {
            text[0] = 0;
        }
        throw Exception(L"TPerlRegEx.Compile() - Error in regex at offset " +
                        std::to_wstring(errorOffset) + L": " +
                        Utf8ToUtf16(reinterpret_cast<const char*>(text)));
    }
    FCompiled = true;
}

bool TPerlRegEx::Match() {
    return Execute(0, FStop, 0);
}

bool TPerlRegEx::MatchAnchored(int start, int stop) {
    if (start < 1 || stop < start - 1 || stop > static_cast<int>(FSubject.size())) {
        FOffsetCount = 0;
        return false;
    }
    return Execute(start - 1, stop, PCRE2_ANCHORED);
}

bool TPerlRegEx::Execute(int start, int stop, std::uint32_t flags) {
    if (!FCompiled) {
        Compile();
    }
    if (FState & preNotBOL) {
        flags |= PCRE2_NOTBOL;
    }
    if (FState & preNotEOL) {
        flags |= PCRE2_NOTEOL;
    }
    if (FState & preNotEmpty) {
        flags |= PCRE2_NOTEMPTY;
    }
    FOffsetCount = pcre2_match(pattern.get(), reinterpret_cast<PCRE2_SPTR>(FSubject.data()),
                               static_cast<PCRE2_SIZE>(stop), static_cast<PCRE2_SIZE>(start), flags,
                               matchData.get(), nullptr);
    // No match, a full offsets vector (0) and every matching error all end here.
    if (FOffsetCount <= 0) {
        return false;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
    for (int i = 0; i < 2 * FOffsetCount; ++i) {
        // An unset group reads as 0, one past the engine's -1.
        Offsets[i] = ovector[i] == PCRE2_UNSET ? 0 : static_cast<int>(ovector[i]) + 1;
    }
    FStart = Offsets[1];
    if (Offsets[0] == Offsets[1]) {
        ++FStart;
    }
    return true;
}

std::string TPerlRegEx::MatchedText() const {
    if (FOffsetCount <= 0) {
        throw Exception(L"REQUIRE: There must be a successful match first");
    }
    return FSubject.substr(static_cast<std::size_t>(Offsets[0] - 1),
                           static_cast<std::size_t>(Offsets[1] - Offsets[0]));
}

}  // namespace hf

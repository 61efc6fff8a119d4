#pragma once
// Pattern cases shared by the native tests and the Wine tests (the same table must hold for the
// system's PCRE2 and the static one in the product).

namespace hf::cases {

inline constexpr wchar_t kLibraryPattern[] = L"[a-zA-Z0-9.]*.dll";
inline constexpr wchar_t kEightPattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{8}$";
inline constexpr wchar_t kTenPattern[] = L"^(?=.*[A-Za-z])(?=.*\\d)[A-Za-z\\d]{10}$";

struct PatternCase {
    const wchar_t* pattern;
    const wchar_t* subject;
    const wchar_t* firstMatch;  // what RegexFirstMatch gives; empty means no match
    const char* why;
};

inline constexpr PatternCase kPatternCases[] = {
    // The library-name pattern of the task rules.
    {kLibraryPattern, L"C:\\Users\\Public\\abc123.dll", L"abc123.dll", "folder stops the class"},
    {kLibraryPattern, L"C:\\x\\my-lib.dll", L"lib.dll", "hyphen is outside the class"},
    {kLibraryPattern, L"abc_dll,Start", L"abc_dll", "unescaped dot is any character"},
    {kLibraryPattern, L"dll", L"", "the dot needs one character before dll"},
    {kLibraryPattern, L"shell32.exe,Control_RunDLL", L"", "DLL in upper case does not match"},
    {kLibraryPattern, L"a.dll b.dll", L"a.dll", "leftmost match wins"},
    {kLibraryPattern, L"", L"", "empty subject"},
    {kLibraryPattern, L"..dll", L"..dll", "a dot in the class, the other as any character"},
    {kLibraryPattern, L"dlldll", L"dlldll", "dll inside the run"},
    {kLibraryPattern, L"ab-dll", L"ab-dll", "the any character ends the run"},
    {kLibraryPattern, L"a-b-dll", L"b-dll", "the match starts after the first hyphen"},
    {kLibraryPattern, L"xdl-dll,dl", L"xdl-dll", "dl at a run's end, dll after it"},
    {kLibraryPattern, L"abc-dl", L"", "dl at the end of the field"},
    {kLibraryPattern, L"ab\ndll", L"", "LF is no any character"},
    {kLibraryPattern, L"ab\rdll", L"", "CR is no any character"},
    {kLibraryPattern, L"ab\r\ndll", L"", "CR LF is no any character"},
    {kLibraryPattern, L"ab\vdll", L"", "VT is no any character"},
    {kLibraryPattern, L"ab\fdll", L"", "FF is no any character"},
    {kLibraryPattern, L"ab\u0085dll", L"", "NEL is no any character"},
    {kLibraryPattern, L"ab\u2028dll", L"", "LS is no any character"},
    {kLibraryPattern, L"ab\u2029dll", L"", "PS is no any character"},
    {kLibraryPattern, L"ab\tdll", L"ab\tdll", "tab is an any character"},
    {kLibraryPattern, L"\n\ndll.dll", L"dll.dll", "the run after the line breaks"},
    {kLibraryPattern, L"ab\u00e9dll", L"ab\u00e9dll", "two-byte any character"},
    {kLibraryPattern, L"abc\u00e9x.dll", L"x.dll", "non-ASCII ends a run"},
    {kLibraryPattern, L"a\U0001F600dll", L"a\U0001F600dll", "astral any character"},
    {kLibraryPattern,
     L"ab\xdc00"
     L"dll",
     L"ab\ufffddll", "lone surrogate as any character"},
    {kLibraryPattern,
     L"\xd800\xd800"
     L"dll",
     L"\ufffddll", "lone surrogates, one run break"},
    {kLibraryPattern, L"lib.DLL,x.dll", L"x.dll", "upper-case DLL, then a match"},
    // The eight-character name shape.
    {kEightPattern, L"ab12cd34", L"ab12cd34", "letters and digits"},
    {kEightPattern, L"abcdefgh", L"", "no digit"},
    {kEightPattern, L"12345678", L"", "no letter"},
    {kEightPattern, L"ab12cd3", L"", "seven characters"},
    {kEightPattern, L"ab12cd345", L"", "nine characters"},
    {kEightPattern, L"ab12cd3\u00e9", L"", "accented letter is not A-Z"},
    {kEightPattern, L"ab12cd3\u0664", L"", "Arabic-Indic digit is not 0-9"},
    {kEightPattern, L"ab12cd3\uff14", L"", "full-width digit is not 0-9"},
    {kEightPattern, L"ab12cd34\n", L"ab12cd34", "$ before a final LF"},
    {kEightPattern, L"ab12cd34\r\n", L"ab12cd34", "$ before a final CR LF"},
    {kEightPattern, L"ab12cd34\r", L"ab12cd34", "$ before a final CR"},
    {kEightPattern, L"ab12cd34\v", L"ab12cd34", "$ before a final VT"},
    {kEightPattern, L"ab12cd34\f", L"ab12cd34", "$ before a final FF"},
    {kEightPattern, L"ab12cd34\u0085", L"ab12cd34", "$ before a final NEL"},
    {kEightPattern, L"ab12cd34\u2028", L"ab12cd34", "$ before a final LS"},
    {kEightPattern, L"ab12cd34\u2029", L"ab12cd34", "$ before a final PS"},
    {kEightPattern, L"ab12cd34\n\n", L"", "only one final line break"},
    {kEightPattern, L"ab12cd34 ", L"", "a trailing blank is no line break"},
    {kEightPattern, L"\nab12cd34", L"", "^ is the start of the subject only"},
    {kEightPattern, L"", L"", "empty subject"},
    // The ten-character name shape.
    {kTenPattern, L"abcde12345", L"abcde12345", "letters and digits"},
    {kTenPattern, L"abcde1234", L"", "nine characters"},
    {kTenPattern, L"ABCDEFGHIJ", L"", "no digit"},
    // An empty match is never accepted.
    {L"a*", L"bbb", L"", "only empty matches exist"},
    {L"a*", L"baa", L"aa", "the engine moves on past the empty match"},
    {L"x?", L"", L"", "empty subject"},
    // "." never matches a line break of any kind.
    {L"a.b", L"a\nb", L"", "dot and LF"},
    {L"a.b", L"a\rb", L"", "dot and CR"},
    {L"a.b", L"a\u0085b", L"", "dot and NEL"},
    {L"a.b", L"a\u2028b", L"", "dot and LS"},
    {L"a.b", L"a\tb", L"a\tb", "dot and tab"},
    // Characters, not bytes, outside ASCII.
    {L"^...$", L"\ud55c\uad6d\uc5b4", L"\ud55c\uad6d\uc5b4", "three Hangul syllables"},
    {L"[a-z]+", L"stra\u00dfe", L"stra", "sharp s is not a-z"},
    {L"\\w+", L"\u00e9t\u00e9", L"t", "\\w knows ASCII only"},
    {L"\\d+", L"\u0661\u0662 42", L"42", "\\d is 0-9 only"},
    {L"ABC", L"abc", L"", "case matters"},
    {L"b.d", L"ab\u00e9d!", L"b\u00e9d", "dot is one character of two bytes"},
    // A stray surrogate arrives as U+FFFD.
    {L"^.$", L"\xd800", L"\ufffd", "lone surrogate"},
    // Errors while matching are no match.
    {L"(*LIMIT_MATCH=10)(a+)+$", L"aaaaaaaaaaaaaaaaaaaab", L"", "match limit reached"},
};

struct PatternErrorCase {
    const wchar_t* pattern;
    const wchar_t* message;
};

inline constexpr PatternErrorCase kPatternErrorCases[] = {
    {L"", L"TPerlRegEx.Compile() - Please specify a regular expression in RegEx first"},
    {L"(abc", L"TPerlRegEx.Compile() - Error in regex at offset 4: missing closing parenthesis"},
    {L"[a-",
     L"TPerlRegEx.Compile() - Error in regex at offset 3: missing terminating ] for "
     L"character class"},
    // The offset counts bytes of the UTF-8 pattern: the e-acute takes two.
    {L"\u00e9)",
     L"TPerlRegEx.Compile() - Error in regex at offset 2: unmatched closing "
     L"parenthesis"},
    {L"a{2,1}",
     L"TPerlRegEx.Compile() - Error in regex at offset 5: numbers out of order in {} "
     L"quantifier"},
};

}  // namespace hf::cases

// Times one search for the library name in a field of N characters, the pattern's worst case:
// N characters of its class ending in "dl", so no match exists and an unanchored search backs
// off from every position. Before: RegexFirstMatch with the pattern; after: LibraryNameMatch.
// Other shapes (a run the engine must back off through, many short runs, no class characters)
// show the new search stays linear.
//
// Usage: bench_library_name [largest N for RegexFirstMatch]   (default 100000; it is quadratic:
//        about 50 s at 100,000 and, extrapolated, over an hour at 1,000,000)

#include "inspect/Patterns.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds per call: calls repeated until a quarter of a second has passed (once at least).
double MillisecondsPerCall(const std::function<std::wstring()>& call, std::wstring& result) {
    int calls = 0;
    const auto begin = Clock::now();
    auto elapsed = Clock::duration::zero();
    do {
        result = call();
        ++calls;
        elapsed = Clock::now() - begin;
    } while (elapsed < std::chrono::milliseconds(250));
    return std::chrono::duration<double, std::milli>(elapsed).count() / calls;
}

std::wstring Repeat(const std::wstring& piece, std::size_t length) {
    std::wstring out;
    while (out.size() < length) {
        out += piece;
    }
    out.resize(length);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const long beforeMax = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    struct Shape {
        const char* name;
        std::function<std::wstring(std::size_t)> make;
    };
    const Shape shapes[] = {
        {"class ending in dl", [](std::size_t n) { return std::wstring(n - 2, L'a') + L"dl"; }},
        // "dll" in reach of the run, so the engine is asked and backs off through all of it.
        {"class, LF, dll", [](std::size_t n) { return std::wstring(n - 4, L'a') + L"\ndll"; }},
        {"a- repeated", [](std::size_t n) { return Repeat(L"a-", n); }},
        {"commas only", [](std::size_t n) { return std::wstring(n, L','); }},
        {"ab.d repeated", [](std::size_t n) { return Repeat(L"ab.d", n); }},
    };
    std::printf("%-20s %10s %18s %18s\n", "field", "N", "RegexFirstMatch ms",
                "LibraryNameMatch ms");
    for (const Shape& shape : shapes) {
        for (std::size_t n : {std::size_t{1000}, std::size_t{100000}, std::size_t{1000000}}) {
            const std::wstring field = shape.make(n);
            std::wstring after;
            const double afterMs =
                MillisecondsPerCall([&] { return hf::LibraryNameMatch(field); }, after);
            char before[32] = "not run";
            if (static_cast<long>(n) <= beforeMax) {
                std::wstring expected;
                const double beforeMs = MillisecondsPerCall(
                    [&] { return hf::RegexFirstMatch(hf::kLibraryPattern, field); }, expected);
                std::snprintf(before, sizeof before, "%.3f", beforeMs);
                if (expected != after) {
                    std::printf("DIFFERENT RESULTS for %s, N = %zu\n", shape.name, n);
                    return 1;
                }
            }
            std::printf("%-20s %10zu %18s %18.3f\n", shape.name, n, before, afterMs);
            std::fflush(stdout);
        }
    }
    return 0;
}

#include "lab/plant/ArtefactTable.h"

#include <array>
#include <string_view>

namespace hf::lab {
namespace {

std::wstring Trim(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::wstring(text);
}

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    for (;;) {
        size_t at = text.find(separator);
        parts.push_back(Trim(text.substr(0, at)));
        if (at == std::wstring_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

constexpr std::array<std::wstring_view, 5> kKinds = {L"service", L"driver", L"key", L"file",
                                                     L"task"};

}  // namespace

std::optional<std::wstring> Artefact::Option(const std::wstring& name) const {
    for (const auto& [key, value] : options) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

ArtefactTable ParseArtefactTable(const std::wstring& text) {
    ArtefactTable table;
    int number = 0;
    for (const std::wstring& raw : Split(text, L'\n')) {
        ++number;
        if (raw.empty() || raw.front() == L'#') {
            continue;
        }
        const std::wstring where = L"line " + std::to_wstring(number) + L": ";
        std::vector<std::wstring> fields = Split(raw, L'|');
        if (fields.size() != 4) {
            table.errors.push_back(where +
                                   L"expected 4 fields (kind | target | options | meant), found " +
                                   std::to_wstring(fields.size()));
            continue;
        }
        Artefact artefact;
        artefact.line = number;
        artefact.kind = fields[0];
        artefact.target = fields[1];
        artefact.meant = fields[3];
        bool known = false;
        for (std::wstring_view kind : kKinds) {
            known = known || artefact.kind == kind;
        }
        if (!known) {
            table.errors.push_back(where + L"unknown kind \"" + artefact.kind + L"\"");
            continue;
        }
        if (artefact.target.empty()) {
            table.errors.push_back(where + L"no target");
            continue;
        }
        if (artefact.meant != L"gone" && artefact.meant != L"kept" &&
            artefact.meant.rfind(L"state=", 0) != 0) {
            table.errors.push_back(where + L"meant must be gone, kept or state=<state>, not \"" +
                                   artefact.meant + L"\"");
            continue;
        }
        if (!fields[2].empty()) {
            for (const std::wstring& option : Split(fields[2], L';')) {
                if (option.empty()) {
                    continue;
                }
                size_t eq = option.find(L'=');
                if (eq == std::wstring::npos) {
                    artefact.options.emplace_back(option, std::wstring());
                } else {
                    artefact.options.emplace_back(Trim(std::wstring_view(option).substr(0, eq)),
                                                  Trim(std::wstring_view(option).substr(eq + 1)));
                }
            }
        }
        table.artefacts.push_back(std::move(artefact));
    }
    return table;
}

}  // namespace hf::lab

#pragma once
// The lab's table of planted artefacts (lab/plant/artefacts.txt): one artefact a line,
//   kind | target | options | meant
// options are "name=value" or bare flags separated by ';'. Blank lines and lines starting
// with '#' are skipped. The planting tool and the inventory both read the same table.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hf::lab {

struct Artefact {
    int line = 0;
    std::wstring kind;    // service, driver, key, file, task
    std::wstring target;  // service name, HKLM key path, file path or task path
    std::vector<std::pair<std::wstring, std::wstring>> options;  // in table order
    std::wstring meant;  // gone, kept, or state=<what the inventory shows after the run>

    // The value of the first option with this name; a bare flag gives empty text.
    std::optional<std::wstring> Option(const std::wstring& name) const;
};

struct ArtefactTable {
    std::vector<Artefact> artefacts;
    std::vector<std::wstring> errors;  // "line N: what is wrong"
};

ArtefactTable ParseArtefactTable(const std::wstring& text);

}  // namespace hf::lab

#include "platform/StringList.h"

#include "platform/Errors.h"

namespace hf {

const std::wstring& TStringList::Strings(int index) const {
    if (index < 0 || index >= Count()) {
        throw EStringListError(L"List index out of bounds (" + std::to_wstring(index) + L")");
    }
    return items_[static_cast<std::size_t>(index)];
}

}  // namespace hf

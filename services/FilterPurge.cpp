#include "services/FilterPurge.h"

#include "platform/StringList.h"
#include "services/Registry.h"

#include <exception>

namespace hf {

namespace {

constexpr wchar_t kFilterKeyPath[] = L"\\SYSTEM\\CurrentControlSet\\Services\\hfFilter";

}  // namespace

void PurgeFilterServiceKey(const Platform& platform) {
    // Lists the key and deletes its values; the subkey trees and the key itself go through
    // handles DeleteKey opens for them.
    TRegistry registry(platform, reg::kKeyRead | reg::kKeySetValue);
    if (!registry.OpenKey(kFilterKeyPath, false)) {
        return;
    }
    // A link in the filter's place goes itself; what it leads to is no part of the filter.
    if (registry.CurrentKeyIsLink()) {
        registry.CloseKey();
        registry.DeleteKey(kFilterKeyPath);
        return;
    }
    // The stage must never end the run: one item that cannot go (or throws) is passed over.
    TStringList keys;
    registry.GetKeyNames(keys);
    for (const std::wstring& name : keys) {
        try {
            registry.DeleteKey(name);
        } catch (const std::exception&) {
        }
    }
    TStringList values;
    registry.GetValueNames(values);
    for (const std::wstring& name : values) {
        try {
            registry.DeleteValue(name);
        } catch (const std::exception&) {
        }
    }
    // By its absolute path while still open: the open handle does not keep the key alive.
    try {
        registry.DeleteKey(kFilterKeyPath);
    } catch (const std::exception&) {
    }
    registry.CloseKey();
}

}  // namespace hf

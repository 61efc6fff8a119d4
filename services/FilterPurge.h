#pragma once
// The last stage of the cleaning run: empties and deletes the filter driver's service key.

#include "platform/Platform.h"

namespace hf {

// Deletes every subkey tree, then every value (the default value included), then the key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\hfFilter itself. Does nothing when the
// key cannot be opened to be read and to have its values deleted; whatever cannot be deleted
// stays. Never raises.
void PurgeFilterServiceKey(const Platform& platform);

}  // namespace hf

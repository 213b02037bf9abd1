// winsim test controls for file mappings: what is alive now, and how far views reached.
#pragma once

#include <windows.h>

#include <string>

namespace winsim {

// Mapping objects alive now (held by a handle or a view).
size_t FileMappingCount();
// Views mapped and not yet unmapped.
size_t MappedViewCount();
// Whether a block of that exact name can be opened now.
bool FileMappingExists(const std::string& name);
// The largest view size mapped since the last Reset.
SIZE_T LargestMappedViewSize();

}  // namespace winsim

// The privileges Windows knows, by name: LookupPrivilegeValueA's table for
// the implementations of the seam that run off Windows.
#pragma once

#include "platform/Win32Types.h"

namespace skarvet {

// The low part of the LUID Windows gives the privilege `name` (case ignored);
// false for a name Windows does not know.
bool FindPrivilege(const char* name, DWORD& luid);

} // namespace skarvet

// Paths as Windows is handed them. A path whose full form reaches MAX_PATH
// goes in the \\?\ form (\\?\UNC\server\share\... for a network path),
// which no length limit applies to, whether the system's long-path setting
// is on or not; a shorter one goes as it was given, so that what Windows
// makes of short names (NUL, a trailing dot) stays as it was.
#pragma once

#include "primitives.hpp"

namespace platform::windows {

// The full path of path, as GetFullPathNameW makes it; false where there is
// none.
bool full_path(const native_char* path, NativePath& full);

// path in the form that reaches the file at any length.
NativePath long_form(const native_char* path);
inline NativePath long_form(const NativePath& path) { return long_form(path.c_str()); }

}  // namespace platform::windows

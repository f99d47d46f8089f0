// The one call each platform's file code provides for opening by path.
#pragma once

#include "file.hpp"

namespace platform {

enum class OpenMode { read, update, replace };

// Binary mode always; fails for a directory.
bool open_path(const native_char* path, OpenMode mode, File& file);

}  // namespace platform

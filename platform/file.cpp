// The platform-independent part of the file seam.
#include "file.hpp"

#include "open_path.hpp"

namespace platform {

bool open_for_reading(const native_char* path, File& file) {
    return open_path(path, OpenMode::read, file);
}

bool open_for_update(const native_char* path, File& file) {
    return open_path(path, OpenMode::update, file);
}

bool open_for_replacing(const native_char* path, File& file) {
    return open_path(path, OpenMode::replace, file);
}

bool write_whole_file(const native_char* path, std::span<const std::byte> bytes) {
    File file;
    return open_for_replacing(path, file) && write_all(file, bytes) && close_file(file);
}

}  // namespace platform

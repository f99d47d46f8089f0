// The platform-independent part of the file seam: whole transfers, each
// step checked, built on the primitives of each platform.
#include "file.hpp"

#include "primitives.hpp"

namespace platform {

File::~File() {
    if (descriptor >= 0) close_descriptor(descriptor);
}

bool open_for_reading(const native_char* path, File& file) {
    return open_path(path, OpenMode::read, file);
}

bool open_for_update(const native_char* path, File& file) {
    return open_path(path, OpenMode::update, file);
}

bool open_for_replacing(const native_char* path, File& file) {
    return open_path(path, OpenMode::replace, file);
}

bool file_length(File& file, std::int64_t& length) {
    return seek_to_end(file, length) && seek_to(file, 0);
}

bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes) {
    if (!seek_to(file, position)) return false;
    while (!bytes.empty()) {
        std::size_t count = 0;
        // The end of the file before the last byte is a short read.
        if (!read_next(file, bytes, count) || count == 0) return false;
        bytes = bytes.subspan(count);
    }
    return true;
}

bool write_all(File& file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        std::size_t written = 0;
        if (!write_some(file, bytes, written) || written == 0) return false;
        bytes = bytes.subspan(written);
    }
    return true;
}

bool write_all_at(File& file, std::int64_t position, std::span<const std::byte> bytes) {
    return seek_to(file, position) && write_all(file, bytes);
}

bool close_file(File& file) {
    const int descriptor = file.descriptor;
    file.descriptor = -1;
    return close_descriptor(descriptor);
}

bool write_whole_file(const native_char* path, std::span<const std::byte> bytes) {
    File file;
    return open_for_replacing(path, file) && write_all(file, bytes) && close_file(file);
}

void print_usage(std::string_view line) {
    write_error_text(line);
    write_error_text("\n");
}

}  // namespace platform

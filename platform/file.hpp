// Files opened by path, with every transfer checked: a short read or write
// is a failure. Nothing here prints or exits. Failures of the system become
// values in the per-platform files; file.cpp decides on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "entry.hpp"

namespace platform {
// Owned: moved, never copied, and closed once, by close() where the caller
// must see a failure (an output), else when it goes out of scope.
class File {
  public:
    File() = default;
    explicit File(int descriptor) : descriptor_(descriptor) {}
    File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            (void)close();
            descriptor_ = std::exchange(other.descriptor_, -1);
        }
        return *this;
    }
    ~File() { (void)close(); }

    bool is_open() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }
    [[nodiscard]] bool close();  // false where the close, and so the data, failed

  private:
    int descriptor_ = -1;
};

// read_now for a file whose length is wanted; update writes into an existing
// file without creating or truncating it; replace opens as the shell's '>'.
// read_now and update never wait for another process: a FIFO opens at once
// (and then has no length) or not at all. Binary always; no directory.
enum class OpenMode { read, read_now, update, replace };
[[nodiscard]] bool open_path(const native_char* path, OpenMode mode, File& file);
// By seeking to the end; works for block devices.
[[nodiscard]] bool file_length(File& file, std::int64_t& length);
[[nodiscard]] bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes);
// At most bytes.size() bytes; 0 in count means the end.
[[nodiscard]] bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count);
[[nodiscard]] bool write_all_at(File& file, std::int64_t position,
                                std::span<const std::byte> bytes);
// Standard error unchecked: nothing can be done about a failed usage line.
[[nodiscard]] bool write_standard_output(std::string_view text);
void write_standard_error(std::string_view text);

// Replaces the file at path by bytes, whole or not at all: through a new
// file beside it, renamed over it once written and closed, which keeps its
// owner, mode and attributes (a symbolic link stays a link). Where a rename
// would lose what writing into the file keeps (a device, a FIFO, more links
// than one, another user's file, a folder that takes no new file), the file
// is written in place, as the shell would.
[[nodiscard]] bool write_whole_file(const native_char* path, std::span<const std::byte> bytes);
}  // namespace platform

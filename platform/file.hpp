// Files opened by path, with every transfer checked. A short read or a short
// write is always reported as a failure; nothing here prints or exits.
// Failures of the system become values in the per-platform files
// (file_posix.cpp, file_windows.cpp); the decisions on them are file.cpp's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "entry.hpp"

namespace platform {

// An open file, owned: moved, never copied, and closed once, by close() where
// the caller must see a failure (an output), else when it goes out of scope.
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
    // False where the close, and so the data, failed; a closed file stays so.
    [[nodiscard]] bool close();

  private:
    int descriptor_ = -1;
};

// read; read_now for a file whose length is wanted; update, writing into an
// existing file without creating or truncating it; replace, as the shell's
// '>' opens. read_now and update never wait for another process: a FIFO
// opens at once (and then has no length) or not at all.
enum class OpenMode { read, read_now, update, replace };

// Binary mode always; fails for a directory.
[[nodiscard]] bool open_path(const native_char* path, OpenMode mode, File& file);

// The length in bytes, taken by seeking to the end; works for block devices.
[[nodiscard]] bool file_length(File& file, std::int64_t& length);

// Reads exactly bytes.size() bytes starting at position.
[[nodiscard]] bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes);

// Reads what comes next, at most bytes.size() bytes; 0 in count means the end.
[[nodiscard]] bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count);

// Writes all of bytes at position.
[[nodiscard]] bool write_all_at(File& file, std::int64_t position,
                                std::span<const std::byte> bytes);

// Text to standard output, checked; to standard error, unchecked: nothing can
// be done about a failure to report the usage line.
[[nodiscard]] bool write_standard_output(std::string_view text);
void write_standard_error(std::string_view text);

// Replaces the file at path by bytes, whole or not at all. The bytes go to a
// new file beside it, renamed over it once written and closed, so a failure
// leaves the earlier file as it was. A symbolic link stays a link to the
// replaced file, which keeps its mode and, where the program may give it,
// its owner and group; a new file gets the mode a created file gets. Where a
// rename would lose what writing into the file keeps (a device or a FIFO, a
// file with more than one link, another user's file, a folder where no file
// can be made), the file is truncated and written in place, as before.
[[nodiscard]] bool write_whole_file(const native_char* path, std::span<const std::byte> bytes);

}  // namespace platform

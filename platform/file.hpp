// Files opened by path, with every transfer checked. A short read or a short
// write is always reported as a failure; nothing here prints or exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "entry.hpp"

namespace platform {

// An open file descriptor, closed when it goes out of scope. Outputs are
// closed explicitly with close_file() so that a failing close is seen.
struct File {
    int descriptor = -1;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();
};

// Binary reading. Fails for a path that cannot be opened and for a directory.
[[nodiscard]] bool open_for_reading(const native_char* path, File& file);

// The same, for a file whose length is wanted: never waits for another
// process, so a FIFO without a writer opens at once (and has no length).
[[nodiscard]] bool open_for_reading_now(const native_char* path, File& file);

// Binary writing into an existing file, without creating or truncating it,
// and without waiting for another process.
[[nodiscard]] bool open_for_update(const native_char* path, File& file);

// The length in bytes, taken by seeking to the end; works for block devices.
[[nodiscard]] bool file_length(File& file, std::int64_t& length);

// Reads exactly bytes.size() bytes starting at position.
[[nodiscard]] bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes);

// Reads what comes next, at most bytes.size() bytes; 0 in count means the end.
[[nodiscard]] bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count);

// Writes all of bytes, at position or at the current position.
[[nodiscard]] bool write_all_at(File& file, std::int64_t position,
                                std::span<const std::byte> bytes);
[[nodiscard]] bool write_all(File& file, std::span<const std::byte> bytes);

// Closes the file and reports whether the close, and so the data, succeeded.
[[nodiscard]] bool close_file(File& file);

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

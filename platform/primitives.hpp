// What each platform's file code provides; file.cpp builds the checked
// whole-transfer calls of file.hpp on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "file.hpp"

namespace platform {

enum class OpenMode { read, update, replace };

// Binary mode always; fails for a directory.
bool open_path(const native_char* path, OpenMode mode, File& file);

bool seek_to(File& file, std::int64_t position);
bool seek_to_end(File& file, std::int64_t& position);

// Writes at most bytes.size() bytes at the current position; false on error.
bool write_some(File& file, std::span<const std::byte> bytes, std::size_t& written);

// Releases the descriptor, also when it reports an error, which it returns
// as false: the close is never retried.
bool close_descriptor(int descriptor);

// Text to standard error, unchecked: nothing can be done about a failure to
// report the usage line.
void write_error_text(std::string_view text);

// No single read or write asks for more than this: Linux moves a little
// under 2 GiB in one call, and the Windows runtime counts in unsigned int.
inline constexpr std::size_t largest_transfer = std::size_t{1} << 30;

constexpr std::size_t transfer_size(std::size_t wanted) {
    return wanted < largest_transfer ? wanted : largest_transfer;
}

}  // namespace platform

// What each platform's file code provides; file.cpp builds the checked
// whole-transfer calls of file.hpp on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "file.hpp"

namespace platform {

// read_now and update never wait for another process: a FIFO opens at once
// (and then has no length) or not at all. create_new makes a file that did
// not exist, and fails with EEXIST where one does.
enum class OpenMode { read, read_now, update, replace, create_new };

// Binary mode always; fails for a directory.
bool open_path(const native_char* path, OpenMode mode, File& file);

using NativePath = std::basic_string<native_char>;

// An output about to be replaced whole.
struct Output {
    NativePath target;         // the file the path finally names, through any links
    File existing;             // that file opened for writing, when it exists
    bool regular = false;      // existing is a regular file
    bool replaceable = false;  // a file renamed over the target keeps what a truncating open keeps
};

// Finds the target and opens it for writing without creating or truncating
// it, so that permissions count as for a truncating open. A missing target
// is not a failure: it leaves existing closed.
bool open_output(const native_char* path, Output& output);

// A number that differs from run to run, for the names of temporary files.
std::uint32_t temporary_seed();

// Gives the new temporary file what the existing target has (mode, owner,
// attributes); false where that cannot be done.
bool take_attributes_of(const File& existing, const File& temporary,
                        const NativePath& temporary_path);

// Puts from in the place of to, replacing it without deleting it first.
bool rename_over(const NativePath& from, const NativePath& to);

void remove_path(const NativePath& path);

bool truncate_to_nothing(File& file);

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

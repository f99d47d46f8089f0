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
// (and then has no length) or not at all.
enum class OpenMode { read, read_now, update, replace };

// Binary mode always; fails for a directory.
bool open_path(const native_char* path, OpenMode mode, File& file);

using NativePath = std::basic_string<native_char>;

// An output about to be replaced whole.
struct Output {
    const native_char* path = nullptr;  // the name the user gave
    File existing;                      // the output opened for writing, when it exists
    bool regular = false;               // existing is a regular file
    bool replaceable = false;           // a file renamed over it keeps what a truncating open keeps
    // Where the rename lands: on POSIX the output's last name within folder,
    // a descriptor of the folder it provably lives in; on Windows the path
    // of the file, through any links.
    NativePath target;
    File folder;
};

// A new file beside the output; where the system makes one, it has no name
// (empty) until it is complete.
struct Temporary {
    File file;
    NativePath name;
    bool at_target = false;  // a new output's file, named at once by the output's name
};

// Opens an existing output by the user's name for writing as the shell's
// open would, without truncating it, so that the system decides on
// permissions, links and its rules for files in shared folders. A missing
// output is not a failure: existing stays closed. replaceable says whether
// a rename may put a new file in its place.
bool open_output(const native_char* path, Output& output);

// How a step of replacing an output ended. A step the place refuses (a
// folder's rules, a mount, a file system that cannot carry an attribute)
// leaves the output to be written in place, as the shell would; a step whose
// data failed (an I/O error, a full disk, a quota) leaves the earlier output
// as it was and fails the run.
enum class Step { done, name_taken, refused, data_failed };

// A file with no name beside the output, where the system makes one
// (refused where it makes none). Its mode, and that of a file made by
// create_beside, grants no more than the finished output will: for an
// existing output nothing to group and others yet, for a new one what the
// system gives a created file.
Step create_nameless(const Output& output, File& file);

// A new file called name beside the output; name_taken where the name is.
Step create_beside(const Output& output, const NativePath& name, File& file);

// Gives a nameless file the name, beside the output; name_taken as above.
Step give_name(const Output& output, const File& file, const NativePath& name);

// A number that differs from run to run, for the names of temporary files.
std::uint32_t temporary_seed();

// Gives the temporary file what the existing output has (owner, group, mode,
// access rules, attributes, flags); refused where that cannot be done or
// cannot be proven done.
Step take_attributes_of(const Output& output, const Temporary& temporary);

// Puts the named temporary file in the place of the output, replacing it
// without deleting it first, and only where the output's name still leads
// to the file that was opened: where it no longer does, the temporary file
// is left under its name and the step is refused.
Step replace_output(Output& output, const NativePath& name);

void remove_beside(const Output& output, const NativePath& name);

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

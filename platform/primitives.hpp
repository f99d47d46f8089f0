// What each platform's file code provides, and the only place a failure of
// the system becomes a value: each primitive that a decision depends on says
// in a Step how it ended, made there from that platform's own error. file.cpp
// makes the decisions on those values; a test links scripted primitives in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "file.hpp"

namespace platform {

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

// Opens an existing output for writing as the shell's open would, without
// truncating it, so that the system decides on permissions, links and its
// rules for shared folders. A missing output leaves existing closed.
bool open_output(const native_char* path, Output& output);

// How a step of replacing an output ended. A step the place refuses (a
// folder's rules, a mount, a file system that cannot carry an attribute)
// leaves the output to be written in place, as the shell would; a step whose
// data failed (an I/O error, a full disk, a quota) leaves the earlier output
// as it was and fails the run.
enum class Step { done, name_taken, refused, data_failed };

// A file with no name beside the output (refused where the system makes
// none), or one called name. Either grants no more than the finished output
// will: for an existing output nothing to group and others yet, for a new
// one what the system gives a created file. give_name names a nameless one.
Step create_nameless(const Output& output, File& file);
Step create_beside(const Output& output, const NativePath& name, File& file);
Step give_name(const Output& output, const File& file, const NativePath& name);

// The process's number in the high half and a fast clock's reading in the
// low: the seed of the temporary files' names.
std::uint64_t process_and_time();

// Gives the temporary file what the existing output has (owner, group, mode,
// access rules, attributes, flags); refused where that cannot be done or
// cannot be proven done.
Step take_attributes_of(const Output& output, const Temporary& temporary);

// Puts the named temporary file in the place of the output, only where the
// output's name still leads to the file opened (else refused).
Step replace_output(Output& output, const NativePath& name);

void remove_beside(const Output& output, const NativePath& name);

// The transfers, on a descriptor the caller's File owns; false on error.
// read_some and write_some move at most bytes.size() bytes and give how
// many they moved, or a negative count on error.
bool truncate_to_nothing(int descriptor);
bool seek_to(int descriptor, std::int64_t position);
bool seek_to_end(int descriptor, std::int64_t& position);
std::ptrdiff_t read_some(int descriptor, std::span<std::byte> bytes);
std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes);

// Releases the descriptor, also when it reports an error, which it returns
// as false: the close is never retried.
bool close_descriptor(int descriptor);

// The same numbers on POSIX systems and in the Windows runtime.
inline constexpr int standard_output = 1;
inline constexpr int standard_error = 2;

// No single read or write asks for more than this: Linux moves a little
// under 2 GiB in one call, and the Windows runtime counts in unsigned int.
inline constexpr std::size_t largest_transfer = std::size_t{1} << 30;

constexpr std::size_t transfer_size(std::size_t wanted) {
    return wanted < largest_transfer ? wanted : largest_transfer;
}

}  // namespace platform

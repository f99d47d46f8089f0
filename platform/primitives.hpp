// What each platform's file code provides: facts about an output and the
// calls that replace it, each ending in an Outcome made from the platform's
// own error, the only place where a failure becomes a value. file.cpp
// decides on those alone; the decision test links scripted ones instead.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "file.hpp"

namespace platform {

using NativePath = std::basic_string<native_char>;

// refused by the place (a folder's rules, a mount, an attribute it cannot
// carry, no right to look): the output is written in place, as the shell
// would. failed (an I/O error, a full disk, a quota, no descriptor or
// memory): the earlier output stays as it was.
enum class Outcome { done, name_taken, refused, failed };

struct Output {
    const native_char* path = nullptr;  // the name the user gave
    File existing;                      // the output opened for writing, when it exists
    bool regular = false;
    std::uint64_t links = 0;
    bool owner_can_be_given = false;  // to a new file, by this process
    // Where a rename lands: target, the file's last name (through any links),
    // within folder (POSIX: open) or folder_path (Windows: ending in a separator).
    NativePath target;
    File folder;
    NativePath folder_path;
};

// A new file beside the output, named only once complete where the system
// makes a nameless one. It owns its name: any return that did not rename it
// (and clear name) removes it.
struct Temporary {
    explicit Temporary(const Output& beside) : output(beside) {}
    ~Temporary();
    const Output& output;
    File file;
    NativePath name;
    std::uint64_t device = 0, number = 0;  // its identity, where the platform tells it
};

// As the shell's open, without truncating: the system decides on rights,
// links and shared folders. existing stays closed if missing.
Outcome open_output(const native_char* path, Output& output);

// The checks, each giving its fact where it ends done. find_folder leaves
// folder closed where none can be told (a pipe, a descriptor, a dangling link).
Outcome find_folder(Output& output);
Outcome folder_takes_new_file(const Output& output, bool& takes);
Outcome name_leads_to_file(const Output& output, bool& leads);
Outcome is_mount_point(const Output& output, bool& mount_point);

// Granting no more than the finished output will. create_nameless is
// refused where the system makes no nameless file; give_name names one.
Outcome create_nameless(const Output& output, Temporary& temporary);
Outcome create_beside(const Output& output, const NativePath& name, Temporary& temporary);
Outcome give_name(const Output& output, const Temporary& temporary, const NativePath& name);
std::uint64_t name_seed();  // the process's number, then a fast clock's

// Owner, group, mode, access rules, attributes, flags: refused unless proven.
Outcome copy_output_attributes(const Output& output, const Temporary& temporary);
// Only where the output's name still leads to the file opened (else
// refused); clears temporary.name where it no longer holds the temporary.
Outcome replace_output(Output& output, Temporary& temporary);
// Only where the name still holds the temporary, told by its identity.
void remove_temporary(const Output& output, const Temporary& temporary);

// read_some and write_some give the count moved, or a negative one;
// close_descriptor releases it even where it reports an error.
bool truncate_to_nothing(int descriptor);
bool seek_to(int descriptor, std::int64_t position);
bool seek_to_end(int descriptor, std::int64_t& position);
std::ptrdiff_t read_some(int descriptor, std::span<std::byte> bytes);
std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes);
bool close_descriptor(int descriptor);

inline constexpr int standard_output = 1;  // on POSIX and in the Windows runtime
inline constexpr int standard_error = 2;
// Linux moves a little under 2 GiB a call; the Windows runtime counts in unsigned.
inline constexpr std::size_t largest_transfer = std::size_t{1} << 30;
constexpr std::size_t transfer_size(std::size_t wanted) {
    return wanted < largest_transfer ? wanted : largest_transfer;
}

#if !defined(_WIN32)
namespace posix {  // from attributes_posix.cpp, each giving 0 or the system's error
inline int error_unless(bool succeeded) { return succeeded ? 0 : errno; }
// Extended attributes, access list, flags and DOS attributes, onto a new file.
int copy_attributes(int from, int to);
// Append-only or immutable: no new file can take an old name there.
int folder_refuses_renames(int folder, bool& refuses);
}  // namespace posix
#endif

}  // namespace platform

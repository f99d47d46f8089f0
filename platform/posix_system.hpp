// What POSIX systems offer beyond POSIX itself, one idea per file, each
// behind a configure-time check of the facility. Where a facility is
// missing, the answer is the one that leads to the safer path: writing the
// output in place rather than replacing it and losing what it carries.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <string>

#include "file.hpp"

namespace platform::posix {

// 0 where the call succeeded, else the error it left, read at once.
inline int error_unless(bool succeeded) { return succeeded ? 0 : errno; }

// call() again while a signal interrupts it.
template <class Call>
auto retried(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) result = call();
    return result;
}

// openat, close-on-exec; not open where it failed, errno then telling why.
File open_at(int folder, const char* path, int flags, mode_t mode = 0666);

// The folder of a path: "." for a bare name, "/" for a name in the root.
std::string folder_of(const std::string& path);

// Where the user's name is a link: the absolute path the system knows the
// open file by. Empty where that cannot be told, and where the chain of
// links ends at a descriptor (/dev/stdout, /dev/fd/3), which the user means
// rather than the file behind it.
std::string linked_path(const char* name, int descriptor);

// The calls below that give an int give 0 or the system's error; EOPNOTSUPP
// where the system cannot do it or it cannot be proven done.
// A file with no name in folder, and its naming once complete.
int create_nameless(int folder, mode_t mode, File& file);
int name_nameless(int descriptor, int folder, const char* name);

// Exchanges two names of folder at once; ENOSYS where the system or the
// file system cannot.
int exchange(int folder, const char* one, const char* other);

// Whether the file is a mount of its own (a bind-mounted file, a container's
// volume), where no rename can land.
bool is_mount_point(int folder, int file);

// Whether the folder is append-only or immutable: no new file under an old name.
bool folder_refuses_rename(int folder);

// The flags a user sets on a file (chattr, chflags) and its project ID, onto
// a new, empty file; the extended attributes and the access control list,
// onto a new file of the same owner.
int copy_file_flags(int from, int to);
int copy_attributes(int from, int to);

}  // namespace platform::posix

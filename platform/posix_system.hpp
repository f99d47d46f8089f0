// What POSIX systems offer beyond POSIX itself, one idea per file, each
// behind a configure-time check of the facility. Where a facility is
// missing, the answer is the one that leads to the safer path: writing the
// output in place rather than replacing it and losing what it carries.
#pragma once

#include <sys/types.h>

#include <string>

namespace platform::posix {

// Where the user's name is a link: the absolute path the system knows the
// open file by. Empty where that cannot be told, and where the chain of
// links ends at a descriptor (/dev/stdout, /dev/fd/3), which the user means
// rather than the file behind it.
std::string linked_path(const char* name, int descriptor);

// A file with no name in folder, and its naming once complete. Each gives
// 0 or the system's error: EOPNOTSUPP where the system makes no such file,
// EEXIST where the name is taken.
int create_nameless(int folder, mode_t mode, int& descriptor);
int name_nameless(int descriptor, int folder, const char* name);

// Exchanges two names of folder at once: 0 or the system's error, ENOSYS
// where the system or the file system cannot.
int exchange(int folder, const char* one, const char* other);

// Whether the file is a mount of its own (a bind-mounted file, a container's
// volume), where no rename can land.
bool is_mount_point(int folder, int file);

// Whether the folder takes no new file under an old name: it is append-only
// or immutable.
bool folder_refuses_rename(int folder);

// The flags a user sets on a file (chattr, chflags) and its project ID, onto
// a new, empty file; false where the new file cannot have them.
bool copy_file_flags(int from, int to);

// The extended attributes and the access control list of a file onto a new
// file of the same owner; false where they cannot be proven copied.
bool copy_attributes(int from, int to);

}  // namespace platform::posix

// What Linux's proc file system offers: the path the system knows an open
// file by, the links that stand for descriptors, and the naming of a file
// made without a name (O_TMPFILE). Used only where the file system at
// /proc/self/fd shows itself to be proc; without it, links are written in
// place and temporary files have names from the start.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "posix_system.hpp"

#if DIMTOOLS_HAVE_PROC_FS
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace platform::posix {

#if DIMTOOLS_HAVE_PROC_FS

namespace {

bool on_proc(const char* path) {
    struct statfs status {};
    return ::statfs(path, &status) == 0 && status.f_type == PROC_SUPER_MAGIC;
}

// The name /proc gives an open file: a link the system follows to the file
// itself, even when it has no name of its own.
std::string descriptor_link(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

// Whether the chain of links that name starts reaches a link that lives on
// a proc file system, wherever it is mounted (/dev/stdout, /dev/fd/3,
// /proc/self/fd/1): those name a descriptor, not a place in a folder.
bool names_a_descriptor(const char* name) {
    std::string hop = name;
    for (int count = 0; count < 40; ++count) {
        struct stat status {};
        if (::lstat(hop.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return false;
        if (on_proc(folder_of(hop).c_str())) return true;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(hop.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof link) return true;
        const std::string_view next(link, static_cast<std::size_t>(length));
        if (next.front() == '/') {
            hop.assign(next);
        } else {
            hop.erase(hop.rfind('/') + 1).append(next);
        }
    }
    return true;
}

}  // namespace

// Not a path: a pipe's "pipe:[…]", a deleted file's " (deleted)" (which has
// no link left and never comes here).
std::string linked_path(const char* name, int descriptor) {
    if (!on_proc("/proc/self/fd") || names_a_descriptor(name)) return {};
    char path[PATH_MAX];
    const ssize_t length = ::readlink(descriptor_link(descriptor).c_str(), path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof path || path[0] != '/') return {};
    return std::string(path, static_cast<std::size_t>(length));
}

#else

std::string linked_path(const char*, int) { return {}; }

#endif

#if DIMTOOLS_HAVE_PROC_FS && DIMTOOLS_HAVE_O_TMPFILE

int create_nameless(int folder, mode_t mode, File& file) {
    // Named later through /proc, so only where it is there.
    if (!on_proc("/proc/self/fd")) return EOPNOTSUPP;
    file = open_at(folder, ".", O_WRONLY | O_TMPFILE, mode);
    return error_unless(file.is_open());
}

int name_nameless(int descriptor, int folder, const char* name) {
    return error_unless(::linkat(AT_FDCWD, descriptor_link(descriptor).c_str(), folder, name,
                                 AT_SYMLINK_FOLLOW) == 0);
}

#else

int create_nameless(int, mode_t, File&) { return EOPNOTSUPP; }

int name_nameless(int, int, const char*) { return EOPNOTSUPP; }

#endif

}  // namespace platform::posix

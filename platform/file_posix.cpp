// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

namespace {

// path relative to the folder open as folder (AT_FDCWD: the working folder).
int open_descriptor(const char* path, int flags, int folder = AT_FDCWD, mode_t mode = 0666) {
    int descriptor;
    do {
        descriptor = ::openat(folder, path, flags | O_CLOEXEC, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// The name /proc gives an open file: a link the system follows to the file
// itself, even when it has no name of its own.
std::string descriptor_link(const File& file) {
    return "/proc/self/fd/" + std::to_string(file.descriptor);
}

// Reads a value whose length is not known beforehand: read(buffer, size)
// with size 0 asks for the length, as the xattr calls do.
template <class Read>
bool read_sized(std::string& value, Read read) {
    for (;;) {
        const ssize_t wanted = read(nullptr, 0);
        if (wanted <= 0) {
            value.clear();
            return wanted == 0;
        }
        value.resize(static_cast<std::size_t>(wanted));
        const ssize_t got = read(value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;
    }
}

bool same_file(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Whether the chain of links that name starts stops at a link of /proc
// (/dev/stdout, /dev/fd/3): those name a descriptor, not a place in a
// folder, and the caller means that descriptor.
bool names_a_descriptor(const char* name) {
    struct stat proc {};
    if (::stat("/proc/self/fd", &proc) != 0) return false;
    std::string hop = name;
    for (int count = 0; count < 40; ++count) {
        struct stat status {};
        if (::lstat(hop.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return false;
        if (status.st_dev == proc.st_dev) return true;
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

// The path the system knows the open file by: the name itself where it is
// no link, else what /proc says of the descriptor. Empty where there is no
// such path: a pipe's "pipe:[…]", a deleted file, no /proc.
std::string path_of(const char* name, const File& file) {
    struct stat status {};
    if (::lstat(name, &status) != 0) return {};
    if (!S_ISLNK(status.st_mode)) return name;
    if (names_a_descriptor(name)) return {};
    char path[PATH_MAX];
    const ssize_t length = ::readlink(descriptor_link(file).c_str(), path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof path || path[0] != '/') return {};
    return std::string(path, static_cast<std::size_t>(length));
}

// Opens the folder of path and puts its last name in output.target.
bool open_folder_of(const std::string& path, Output& output) {
    const std::size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "."
                               : cut == 0               ? "/"
                                                        : path.substr(0, cut);
    output.target = path.substr(cut == std::string::npos ? 0 : cut + 1);
    const int descriptor = open_descriptor(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return false;
    output.folder.descriptor = descriptor;
    return !output.target.empty() && output.target != "." && output.target != "..";
}

// The extended attributes of a file, the access control list among them:
// names ending in NUL. A file system without them has none.
bool attribute_names(int descriptor, std::string& names) {
    return read_sized(names,
                      [&](char* buffer, std::size_t size) {
                          return ::flistxattr(descriptor, buffer, size);
                      }) ||
           errno == ENOTSUP;
}

bool copy_attribute(int from, int to, const char* name) {
    std::string value;
    return read_sized(value,
                      [&](char* buffer, std::size_t size) {
                          return ::fgetxattr(from, name, buffer, size);
                      }) &&
           ::fsetxattr(to, name, value.data(), value.size(), 0) == 0;
}

constexpr const char* access_list = "system.posix_acl_access";

// Every attribute but the security labels, which the new file takes from
// its folder. A list the new file inherited from its folder, where the old
// file had none, is dropped: a truncating open would not have added one.
bool copy_attributes(int from, int to) {
    std::string names;
    if (!attribute_names(from, names)) return false;
    bool had_access_list = false;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        if (std::string_view(name).starts_with("security.")) continue;
        had_access_list = had_access_list || std::string_view(name) == access_list;
        if (!copy_attribute(from, to, name)) return false;
    }
    return had_access_list || ::fremovexattr(to, access_list) == 0 || errno == ENODATA ||
           errno == ENOTSUP;
}

mode_t current_umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

// The temporary file is made with no permission for group and others; only
// then does it get the old file's owner and group (a user may not give a
// file to another user: that leaves the output to be written in place),
// mode and attributes, or a new output's 0666 less the umask.
bool take_attributes_of(const Output& output, const Temporary& temporary) {
    const int to = temporary.file.descriptor;
    if (output.existing.descriptor < 0) return ::fchmod(to, 0666 & ~current_umask()) == 0;
    struct stat status {};
    return ::fstat(output.existing.descriptor, &status) == 0 &&
           ::fchown(to, status.st_uid, status.st_gid) == 0 &&
           copy_attributes(output.existing.descriptor, to) &&
           ::fchmod(to, status.st_mode & 07777) == 0;
}

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read       ? O_RDONLY
                      : mode == OpenMode::read_now ? O_RDONLY | O_NONBLOCK
                      : mode == OpenMode::update   ? O_WRONLY | O_NONBLOCK
                                                   : O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY;
    const int descriptor = open_descriptor(path, flags);
    if (descriptor < 0) return false;
    file.descriptor = descriptor;
    // Once open, reads and writes wait as usual.
    if ((flags & O_NONBLOCK) != 0 && ::fcntl(descriptor, F_SETFL, 0) != 0) return false;
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode);
}

bool open_output(const native_char* path, Output& output) {
    output.path = path;
    const int descriptor = open_descriptor(path, O_WRONLY | O_NOCTTY);
    if (descriptor < 0) {
        if (errno != ENOENT) return false;
        struct stat status {};
        // A dangling link: the system creates through it, or refuses.
        if (::lstat(path, &status) == 0) return true;
        output.replaceable = open_folder_of(path, output);
        return true;
    }
    output.existing.descriptor = descriptor;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return false;
    output.regular = S_ISREG(status.st_mode);
    if (!output.regular || status.st_nlink != 1) return true;
    // The rename must land on this very file: its folder is opened and the
    // name in it checked, so that a folder or name swapped in between
    // cannot redirect the new file.
    const std::string where = path_of(path, output.existing);
    struct stat named {};
    output.replaceable = !where.empty() && open_folder_of(where, output) &&
                         ::fstatat(output.folder.descriptor, output.target.c_str(), &named,
                                   AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(named.st_mode) && same_file(named, status);
    return true;
}

bool create_nameless(const Output& output, File& file) {
#if defined(O_TMPFILE)
    // Named later through /proc, so only where it is there.
    if (::access("/proc/self/fd", X_OK) != 0) return false;
    const int descriptor =
        open_descriptor(".", O_WRONLY | O_TMPFILE, output.folder.descriptor, 0600);
    if (descriptor < 0) return false;
    file.descriptor = descriptor;
    return true;
#else
    (void)output, (void)file;
    return false;
#endif
}

bool create_beside(const Output& output, const NativePath& name, File& file) {
    const int descriptor =
        open_descriptor(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, output.folder.descriptor, 0600);
    if (descriptor < 0) return false;
    file.descriptor = descriptor;
    return true;
}

bool give_name(const Output& output, const File& file, const NativePath& name) {
    return ::linkat(AT_FDCWD, descriptor_link(file).c_str(), output.folder.descriptor, name.c_str(),
                    AT_SYMLINK_FOLLOW) == 0;
}

std::uint32_t temporary_seed() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint32_t>(::getpid()) * 2654435761u ^
           static_cast<std::uint32_t>(now.tv_nsec);
}

bool replace_output(const Output& output, const NativePath& name) {
    return ::renameat(output.folder.descriptor, name.c_str(), output.folder.descriptor,
                      output.target.c_str()) == 0;
}

void remove_beside(const Output& output, const NativePath& name) {
    (void)::unlinkat(output.folder.descriptor, name.c_str(), 0);
}

bool truncate_to_nothing(File& file) { return ::ftruncate(file.descriptor, 0) == 0; }

bool seek_to(File& file, std::int64_t position) {
    return ::lseek(file.descriptor, static_cast<off_t>(position), SEEK_SET) == position;
}

bool seek_to_end(File& file, std::int64_t& position) {
    const off_t end = ::lseek(file.descriptor, 0, SEEK_END);
    position = end;
    return end >= 0;
}

bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count) {
    ssize_t got;
    do {
        got = ::read(file.descriptor, bytes.data(), transfer_size(bytes.size()));
    } while (got < 0 && errno == EINTR);
    if (got < 0) return false;
    count = static_cast<std::size_t>(got);
    return true;
}

bool write_some(File& file, std::span<const std::byte> bytes, std::size_t& written) {
    ssize_t put;
    do {
        put = ::write(file.descriptor, bytes.data(), transfer_size(bytes.size()));
    } while (put < 0 && errno == EINTR);
    if (put < 0) return false;
    written = static_cast<std::size_t>(put);
    return true;
}

bool close_descriptor(int descriptor) { return ::close(descriptor) == 0; }

void write_error_text(std::string_view text) {
    (void)!::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace platform

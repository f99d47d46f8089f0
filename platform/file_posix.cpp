// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "file.hpp"
#include "posix_system.hpp"
#include "primitives.hpp"

namespace platform {

// A 32-bit C library has a 64-bit off_t only with _FILE_OFFSET_BITS=64,
// which the build sets; without it every image past 2 GiB would fail.
static_assert(sizeof(off_t) >= 8, "off_t must hold 64 bits: build with _FILE_OFFSET_BITS=64");

namespace posix {

File open_at(int folder, const char* path, int flags, mode_t mode) {
    return File(retried([&] { return ::openat(folder, path, flags | O_CLOEXEC, mode); }));
}

std::string folder_of(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace posix

namespace {

bool same_file(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The path the system knows the open file by: the name itself where it is
// no link; empty where there is no such path or it cannot be told.
std::string path_of(const char* name, const File& file) {
    struct stat status {};
    if (::lstat(name, &status) != 0) return {};
    return S_ISLNK(status.st_mode) ? posix::linked_path(name, file.descriptor()) : name;
}

// A folder is opened to find and make names in it, which its search right
// allows: one that may be written and searched but not read (mode 0300, a
// drop folder's 1733) is still one where a new file can be made.
#if DIMTOOLS_HAVE_O_PATH
constexpr int folder_search = O_PATH;
#elif DIMTOOLS_HAVE_O_SEARCH
constexpr int folder_search = O_SEARCH;
#else
constexpr int folder_search = O_RDONLY;
#endif

// Opens the folder of path and puts its last name in output.target.
bool open_folder_of(const std::string& path, Output& output) {
    output.target = path.substr(path.find_last_of('/') + 1);  // all of it where there is no '/'
    output.folder =
        posix::open_at(AT_FDCWD, posix::folder_of(path).c_str(), folder_search | O_DIRECTORY);
    return output.folder.is_open() && !output.target.empty() && output.target != "." &&
           output.target != ".." && !posix::folder_refuses_rename(output.folder.descriptor());
}

// Whether the output is, by its folder and name, the very file opened, in
// a place where a rename can land: checked on the open folder, so that a
// folder or name swapped in between cannot redirect the new file.
bool rename_lands_on(const Output& output) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(output.existing.descriptor(), &opened) == 0 &&
           ::fstatat(output.folder.descriptor(), output.target.c_str(), &named,
                     AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(named.st_mode) && same_file(named, opened) &&
           !posix::is_mount_point(output.folder.descriptor(), output.existing.descriptor());
}

// The refusals: a mount point, another file system, a folder, sandbox or
// read-only mount that forbids it, a name too long, too many links, a
// directory in the way, an attribute or flag the file system cannot carry or
// that went meanwhile, a call the system lacks. EIO, ENOSPC, EDQUOT and all
// else: the data failed.
Step step_after(int error) {
    if (error == 0) return Step::done;
    if (error == EEXIST) return Step::name_taken;
    constexpr int refusals[] = {EBUSY,  EXDEV,  EPERM,      EACCES,  EROFS,  ENAMETOOLONG,
                                EMLINK, EISDIR, EOPNOTSUPP, ENOTSUP, ENOTTY, EINVAL,
                                E2BIG,  ERANGE, ENODATA,    ENOSYS};
    for (const int refusal : refusals) {
        if (error == refusal) return Step::refused;
    }
    return Step::data_failed;
}

Step step_of(bool succeeded) { return step_after(posix::error_unless(succeeded)); }

// The umask, or the folder's default access control list, applies to 0666.
mode_t temporary_mode(const Output& output) { return output.existing.is_open() ? 0600 : 0666; }

}  // namespace

// The old file's owner and group first (a user may not give a file to
// another user: that leaves the output to be written in place), then its
// attributes and flags, its mode last. Where an attribute or flag cannot be
// proven copied without a failing call, the copy is refused.
Step take_attributes_of(const Output& output, const Temporary& temporary) {
    if (!output.existing.is_open()) return Step::done;
    const int from = output.existing.descriptor();
    const int to = temporary.file.descriptor();
    struct stat status {};
    int error = posix::error_unless(::fstat(from, &status) == 0 &&
                                    ::fchown(to, status.st_uid, status.st_gid) == 0);
    if (error == 0) error = posix::copy_attributes(from, to);
    if (error == 0) error = posix::copy_file_flags(from, to);
    if (error == 0) error = posix::error_unless(::fchmod(to, status.st_mode & 07777) == 0);
    return step_after(error);
}

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read       ? O_RDONLY
                      : mode == OpenMode::read_now ? O_RDONLY | O_NONBLOCK
                      : mode == OpenMode::update   ? O_WRONLY | O_NONBLOCK
                                                   : O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY;
    file = posix::open_at(AT_FDCWD, path, flags);
    if (!file.is_open()) return false;
    // Once open, reads and writes wait as usual.
    if ((flags & O_NONBLOCK) != 0 && ::fcntl(file.descriptor(), F_SETFL, 0) != 0) return false;
    struct stat status {};
    return ::fstat(file.descriptor(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool open_output(const native_char* path, Output& output) {
    output.path = path;
    struct stat status {};
    if (::stat(path, &status) != 0) {
        if (errno != ENOENT) return false;
        // A dangling link: the system creates through it, or refuses.
        if (::lstat(path, &status) == 0) return true;
        output.replaceable = open_folder_of(path, output);
        return true;
    }
    // The shell's open, O_CREAT included, without truncating: the system
    // applies its rules for files and FIFOs of other users in shared sticky
    // folders (protected_regular, protected_fifos) only to such an open.
    output.existing = posix::open_at(AT_FDCWD, path, O_WRONLY | O_NOCTTY | O_CREAT);
    if (!output.existing.is_open() || ::fstat(output.existing.descriptor(), &status) != 0) {
        return false;
    }
    output.regular = S_ISREG(status.st_mode);
    if (!output.regular || status.st_nlink != 1) return true;
    const std::string where = path_of(path, output.existing);
    output.replaceable = !where.empty() && open_folder_of(where, output) && rename_lands_on(output);
    return true;
}

Step create_nameless(const Output& output, File& file) {
    return step_after(
        posix::create_nameless(output.folder.descriptor(), temporary_mode(output), file));
}

Step create_beside(const Output& output, const NativePath& name, File& file) {
    file = posix::open_at(output.folder.descriptor(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL,
                          temporary_mode(output));
    return step_of(file.is_open());
}

Step give_name(const Output& output, const File& file, const NativePath& name) {
    return step_after(
        posix::name_nameless(file.descriptor(), output.folder.descriptor(), name.c_str()));
}

std::uint64_t process_and_time() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 32 |
           static_cast<std::uint32_t>(now.tv_nsec);
}

// Where the system exchanges two names at once, the temporary file and the
// output change places, and the file that left the output's name is
// checked: the one opened is then removed; another file, moved onto the
// name since, is put back and the step refused. Elsewhere the name is
// checked just before the rename, which leaves only the moment between
// the two calls.
Step replace_output(Output& output, const NativePath& name) {
    const int folder = output.folder.descriptor();
    const char* const target = output.target.c_str();
    const auto rename = [&] {
        return step_of(::renameat(folder, name.c_str(), folder, target) == 0);
    };
    if (!output.existing.is_open()) return rename();
    const int exchanged = posix::exchange(folder, name.c_str(), target);
    if (exchanged == ENOSYS) return rename_lands_on(output) ? rename() : Step::refused;
    if (exchanged != 0) return step_after(exchanged);
    struct stat opened {};
    struct stat left {};
    const bool checked = ::fstat(output.existing.descriptor(), &opened) == 0 &&
                         ::fstatat(folder, name.c_str(), &left, AT_SYMLINK_NOFOLLOW) == 0;
    if (checked && same_file(opened, left) && ::unlinkat(folder, name.c_str(), 0) == 0) {
        return Step::done;
    }
    // The earlier output back in its place and the temporary file under its
    // name, to be removed; refused where another file had taken the name.
    const bool another_file = checked && !same_file(opened, left);
    if (posix::exchange(folder, name.c_str(), target) != 0) return Step::data_failed;
    return another_file ? Step::refused : Step::data_failed;
}

// Where the place lets a file be made but not removed (a sandbox), what
// stays behind holds nothing.
void remove_beside(const Output& output, const NativePath& name) {
    const int folder = output.folder.descriptor();
    if (::unlinkat(folder, name.c_str(), 0) != 0) {
        (void)posix::open_at(folder, name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK);
    }
}

bool truncate_to_nothing(int descriptor) { return ::ftruncate(descriptor, 0) == 0; }

bool seek_to(int descriptor, std::int64_t position) {
    return ::lseek(descriptor, static_cast<off_t>(position), SEEK_SET) == position;
}

bool seek_to_end(int descriptor, std::int64_t& position) {
    position = ::lseek(descriptor, 0, SEEK_END);
    return position >= 0;
}

std::ptrdiff_t read_some(int descriptor, std::span<std::byte> bytes) {
    return posix::retried(
        [&] { return ::read(descriptor, bytes.data(), transfer_size(bytes.size())); });
}

std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes) {
    return posix::retried(
        [&] { return ::write(descriptor, bytes.data(), transfer_size(bytes.size())); });
}

bool close_descriptor(int descriptor) { return ::close(descriptor) == 0; }

}  // namespace platform

// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "file.hpp"
#include "posix_system.hpp"
#include "primitives.hpp"

namespace platform {

// A 32-bit C library has a 64-bit off_t only with _FILE_OFFSET_BITS=64,
// which the build sets; without it every image past 2 GiB would fail.
static_assert(sizeof(off_t) >= 8, "off_t must hold 64 bits: build with _FILE_OFFSET_BITS=64");

namespace {

// path relative to the folder open as folder (AT_FDCWD: the working folder).
int open_descriptor(const char* path, int flags, int folder = AT_FDCWD, mode_t mode = 0666) {
    int descriptor;
    do {
        descriptor = ::openat(folder, path, flags | O_CLOEXEC, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

bool same_file(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The path the system knows the open file by: the name itself where it is
// no link; empty where there is no such path or it cannot be told.
std::string path_of(const char* name, const File& file) {
    struct stat status {};
    if (::lstat(name, &status) != 0) return {};
    return S_ISLNK(status.st_mode) ? posix::linked_path(name, file.descriptor) : name;
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
    const std::size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "."
                               : cut == 0               ? "/"
                                                        : path.substr(0, cut);
    output.target = path.substr(cut == std::string::npos ? 0 : cut + 1);
    const int descriptor = open_descriptor(folder.c_str(), folder_search | O_DIRECTORY);
    if (descriptor < 0) return false;
    output.folder.descriptor = descriptor;
    return !output.target.empty() && output.target != "." && output.target != ".." &&
           !posix::folder_refuses_rename(descriptor);
}

// Whether the output is, by its folder and name, the very file opened, in
// a place where a rename can land: checked on the open folder, so that a
// folder or name swapped in between cannot redirect the new file.
bool rename_lands_on(const Output& output) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(output.existing.descriptor, &opened) == 0 &&
           ::fstatat(output.folder.descriptor, output.target.c_str(), &named,
                     AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(named.st_mode) && same_file(named, opened) &&
           !posix::is_mount_point(output.folder.descriptor, output.existing.descriptor);
}

// What an error of the system means for a step of replacing the output: a
// name that is taken; a refusal of the place, after which the output is
// written in place as the shell would (a mount point, another file system,
// a folder, sandbox or read-only mount that forbids it, a name too long,
// too many links, a directory in the way, a file system that cannot carry
// an attribute or flag, an attribute gone meanwhile, a call the system
// lacks); or anything else, an I/O error, a full disk or a quota among
// them, where the data failed and the earlier output stays as it was.
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

// A new output's file grants what the system gives a created file: the
// umask, or the folder's default access control list, applies to 0666. An
// existing output's grants nothing to group and others until it has the old
// file's owner, attributes and mode.
mode_t temporary_mode(const Output& output) { return output.existing.descriptor < 0 ? 0666 : 0600; }

}  // namespace

// The old file's owner and group first (a user may not give a file to
// another user: that leaves the output to be written in place), then its
// attributes and flags, its mode last. Where an attribute or flag cannot be
// proven copied without a failing call, the copy is refused.
Step take_attributes_of(const Output& output, const Temporary& temporary) {
    const int from = output.existing.descriptor;
    const int to = temporary.file.descriptor;
    if (from < 0) return Step::done;
    struct stat status {};
    errno = 0;
    const bool taken = ::fstat(from, &status) == 0 &&
                       ::fchown(to, status.st_uid, status.st_gid) == 0 &&
                       posix::copy_attributes(from, to) && posix::copy_file_flags(from, to) &&
                       ::fchmod(to, status.st_mode & 07777) == 0;
    return taken ? Step::done : errno == 0 ? Step::refused : step_after(errno);
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
    const int descriptor = open_descriptor(path, O_WRONLY | O_NOCTTY | O_CREAT);
    if (descriptor < 0) return false;
    output.existing.descriptor = descriptor;
    if (::fstat(descriptor, &status) != 0) return false;
    output.regular = S_ISREG(status.st_mode);
    if (!output.regular || status.st_nlink != 1) return true;
    const std::string where = path_of(path, output.existing);
    output.replaceable = !where.empty() && open_folder_of(where, output) && rename_lands_on(output);
    return true;
}

Step create_nameless(const Output& output, File& file) {
    return step_after(
        posix::create_nameless(output.folder.descriptor, temporary_mode(output), file.descriptor));
}

Step create_beside(const Output& output, const NativePath& name, File& file) {
    file.descriptor = open_descriptor(name.c_str(), O_WRONLY | O_CREAT | O_EXCL,
                                      output.folder.descriptor, temporary_mode(output));
    return file.descriptor >= 0 ? Step::done : step_after(errno);
}

Step give_name(const Output& output, const File& file, const NativePath& name) {
    return step_after(
        posix::name_nameless(file.descriptor, output.folder.descriptor, name.c_str()));
}

std::uint32_t temporary_seed() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint32_t>(::getpid()) * 2654435761u ^
           static_cast<std::uint32_t>(now.tv_nsec);
}

// Where the system exchanges two names at once, the temporary file and the
// output change places, and the file that left the output's name is
// checked: the one opened is then removed; another file, moved onto the
// name since, is put back and the step refused. Elsewhere the name is
// checked just before the rename, which leaves only the moment between
// the two calls.
Step replace_output(Output& output, const NativePath& name) {
    const int folder = output.folder.descriptor;
    const char* const target = output.target.c_str();
    const auto rename = [&] {
        return step_after(::renameat(folder, name.c_str(), folder, target) == 0 ? 0 : errno);
    };
    if (output.existing.descriptor < 0) return rename();
    const int exchanged = posix::exchange(folder, name.c_str(), target);
    if (exchanged == ENOSYS) return rename_lands_on(output) ? rename() : Step::refused;
    if (exchanged != 0) return step_after(exchanged);
    struct stat opened {};
    struct stat left {};
    const bool checked = ::fstat(output.existing.descriptor, &opened) == 0 &&
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
    const int folder = output.folder.descriptor;
    if (::unlinkat(folder, name.c_str(), 0) == 0) return;
    const int left =
        open_descriptor(name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, folder);
    if (left >= 0) (void)close_descriptor(left);
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

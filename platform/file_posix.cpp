// POSIX side of the file seam: plain descriptors, every call checked. What
// a system offers beyond POSIX (/proc, O_TMPFILE, statx, renameat2,
// renameatx_np) stands behind a configure-time check; without it, the fact
// given leads to writing in place. Every failing call becomes an Outcome here.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "primitives.hpp"

#if DIMTOOLS_HAVE_PROC_FS
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace platform {
static_assert(sizeof(off_t) >= 8, "off_t must hold 64 bits: build with _FILE_OFFSET_BITS=64");

namespace {

template <class Call>
auto retried(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) result = call();
    return result;
}

File open_at(int folder, const char* path, int flags, mode_t mode = 0666) {
    return File(retried([&] { return ::openat(folder, path, flags | O_CLOEXEC, mode); }));
}

std::string folder_of(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

// Refusals of the place (a mount point, a folder, sandbox or mount that
// forbids it, an attribute it cannot carry, a call it lacks); all else
// (EIO, ENOSPC, EDQUOT, EMFILE, ENOMEM) is a failure of the system.
Outcome outcome_of(int error) {
    if (error == 0) return Outcome::done;
    if (error == EEXIST) return Outcome::name_taken;
    constexpr int refusals[] = {EBUSY,  EXDEV,  EPERM,      EACCES,  EROFS,  ENAMETOOLONG,
                                EMLINK, EISDIR, EOPNOTSUPP, ENOTSUP, ENOTTY, EINVAL,
                                E2BIG,  ERANGE, ENODATA,    ENOSYS};
    return std::ranges::find(refusals, error) != std::end(refusals) ? Outcome::refused
                                                                    : Outcome::failed;
}

#if DIMTOOLS_HAVE_PROC_FS
bool on_proc(const char* path) {
    struct statfs status {};
    return ::statfs(path, &status) == 0 && status.f_type == PROC_SUPER_MAGIC;
}
// A link the system follows to the open file, even one without a name.
std::string descriptor_link(int descriptor) {
    return "/proc/self/fd/" + std::to_string(descriptor);
}

// Whether the chain of links from name passes a link on a proc file system,
// wherever mounted (/dev/stdout, /dev/fd/3): that names a descriptor, which
// the user means rather than the file behind it.
bool names_a_descriptor(const char* name) {
    std::string hop = name;
    for (int count = 0; count < 40; ++count) {  // as many links as the kernel follows
        struct stat status {};
        if (::lstat(hop.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return false;
        if (on_proc(folder_of(hop).c_str())) return true;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(hop.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof link) return true;
        const std::string_view next(link, static_cast<std::size_t>(length));
        next.front() == '/' ? hop.assign(next) : hop.erase(hop.rfind('/') + 1).append(next);
    }
    return true;
}

// Empty where the open file has no path (a pipe) or the link names a descriptor.
std::string linked_path(const char* name, int descriptor) {
    if (!on_proc("/proc/self/fd") || names_a_descriptor(name)) return {};
    char path[PATH_MAX];
    const ssize_t length = ::readlink(descriptor_link(descriptor).c_str(), path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof path || path[0] != '/') return {};
    return std::string(path, static_cast<std::size_t>(length));
}
#else
std::string linked_path(const char*, int) { return {}; }  // no folder proven: in place
#endif

// ENOSYS where the system or the file system cannot.
int exchange([[maybe_unused]] int folder, [[maybe_unused]] const char* one,
             [[maybe_unused]] const char* other) {
#if DIMTOOLS_HAVE_RENAME_EXCHANGE
    const int error =
        posix::error_unless(::renameat2(folder, one, folder, other, RENAME_EXCHANGE) == 0);
#elif DIMTOOLS_HAVE_RENAME_SWAP
    const int error =
        posix::error_unless(::renameatx_np(folder, one, folder, other, RENAME_SWAP) == 0);
#else
    const int error = ENOSYS;
#endif
    return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP ? ENOSYS : error;
}

// The named temporary that SIGINT, SIGTERM or SIGHUP removes before ending
// the run: the one state outside a call, changed only with those held.
struct {
    int folder = -1;
    char name[256] = {};
    bool catching = false;
} pending;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

void remove_pending_and_end(int signal) {
    if (pending.folder >= 0) (void)::unlinkat(pending.folder, pending.name, 0);
    (void)::signal(signal, SIG_DFL);
    (void)::raise(signal);  // delivered, by default, once this returns
}
void set_pending(int folder, const NativePath& name) {
    pending.folder = name.size() < sizeof pending.name ? folder : -1;
    if (pending.folder >= 0) std::memcpy(pending.name, name.c_str(), name.size() + 1);
}

// A signal finds a name pending or not, never half made or renamed. The
// handler is set once, not for a signal ignored (under nohup).
template <class Change>
Outcome with_signals_held(Change change) {
    sigset_t held;
    sigset_t before;
    sigemptyset(&held);
    for (const int signal : ending_signals) {
        sigaddset(&held, signal);
        struct sigaction action {};
        struct sigaction earlier {};
        action.sa_handler = remove_pending_and_end;
        if (!pending.catching && ::sigaction(signal, &action, &earlier) == 0 &&
            earlier.sa_handler == SIG_IGN) {
            (void)::sigaction(signal, &earlier, nullptr);
        }
    }
    pending.catching = true;
    const bool holding = ::sigprocmask(SIG_BLOCK, &held, &before) == 0;
    const Outcome outcome = change();
    if (holding) (void)::sigprocmask(SIG_SETMASK, &before, nullptr);
    return outcome;
}

// Search alone finds and makes names: a folder that may be written but not
// read (mode 0300, a drop folder's 1733) still takes a new file.
#if DIMTOOLS_HAVE_O_PATH
constexpr int folder_search = O_PATH;
#elif DIMTOOLS_HAVE_O_SEARCH
constexpr int folder_search = O_SEARCH;
#else
constexpr int folder_search = O_RDONLY;
#endif

// The umask, or the folder's default access list, applies to 0666.
mode_t temporary_mode(const Output& output) { return output.existing.is_open() ? 0600 : 0666; }

bool take_identity(Temporary& temporary) {
    struct stat status {};
    if (::fstat(temporary.file.descriptor(), &status) != 0) return false;
    temporary.device = static_cast<std::uint64_t>(status.st_dev);
    temporary.number = static_cast<std::uint64_t>(status.st_ino);
    return true;
}
bool is_temporary(const struct stat& status, const Temporary& temporary) {
    return static_cast<std::uint64_t>(status.st_dev) == temporary.device &&
           static_cast<std::uint64_t>(status.st_ino) == temporary.number;
}

Outcome names_opened_file(const Output& output, const char* name, bool& names) {
    struct stat opened {};
    struct stat named {};
    names = false;
    if (::fstat(output.existing.descriptor(), &opened) != 0) return outcome_of(errno);
    if (::fstatat(output.folder.descriptor(), name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Outcome::done : outcome_of(errno);
    }
    names =
        S_ISREG(named.st_mode) && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    return Outcome::done;
}
}  // namespace

Outcome open_output(const native_char* path, Output& output) {
    output.path = path;
    struct stat status {};
    if (::stat(path, &status) != 0) return errno == ENOENT ? Outcome::done : outcome_of(errno);
    // With O_CREAT, as the shell's, to which alone the rules for other
    // users' files in sticky folders apply (protected_regular and _fifos).
    output.existing = open_at(AT_FDCWD, path, O_WRONLY | O_NOCTTY | O_CREAT);
    if (!output.existing.is_open() || ::fstat(output.existing.descriptor(), &status) != 0) {
        return outcome_of(errno);
    }
    const uid_t user = ::geteuid();
    output.regular = S_ISREG(status.st_mode);
    output.links = status.st_nlink;
    output.owner_can_be_given = status.st_uid == user || user == 0;
    return Outcome::done;
}

// Through any links; none for a dangling link, which the system creates through.
Outcome find_folder(Output& output) {
    std::string where = output.path;
    struct stat status {};
    if (::lstat(output.path, &status) != 0) {
        if (errno != ENOENT || output.existing.is_open()) return outcome_of(errno);
    } else if (!output.existing.is_open()) {
        return Outcome::done;
    } else if (S_ISLNK(status.st_mode)) {
        where = linked_path(output.path, output.existing.descriptor());
        if (where.empty()) return Outcome::done;
    }
    const std::string last = where.substr(where.find_last_of('/') + 1);
    if (last.empty() || last == "." || last == "..") return Outcome::done;
    output.folder = open_at(AT_FDCWD, folder_of(where).c_str(), folder_search | O_DIRECTORY);
    if (!output.folder.is_open()) return outcome_of(errno);
    output.target = last;
    return Outcome::done;
}

Outcome folder_takes_new_file(const Output& output, bool& takes) {
    bool refuses = true;
    const int folder = output.folder.descriptor();
    const int error = folder < 0 ? 0 : posix::folder_refuses_renames(folder, refuses);
    takes = !refuses;
    return outcome_of(error);
}

// On the open folder, so that a folder or name swapped in cannot redirect.
Outcome name_leads_to_file(const Output& output, bool& leads) {
    return names_opened_file(output, output.target.c_str(), leads);
}

// A bind-mounted file or a container's volume, told by the mount ID where
// the system has it (an overlay's file shows its layer's device number),
// else by the device number.
Outcome is_mount_point(const Output& output, bool& mount_point) {
    const int folder = output.folder.descriptor();
    const int file = output.existing.descriptor();
#if DIMTOOLS_HAVE_STATX_MOUNT_ID
    struct statx folder_mount {};
    struct statx file_mount {};
    const bool told = ::statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &folder_mount) == 0 &&
                      ::statx(file, "", AT_EMPTY_PATH, STATX_MNT_ID, &file_mount) == 0;
    if (!told && errno != ENOSYS) return outcome_of(errno);
    if (told && (folder_mount.stx_mask & file_mount.stx_mask & STATX_MNT_ID) != 0) {
        mount_point = folder_mount.stx_mnt_id != file_mount.stx_mnt_id;
        return Outcome::done;
    }
#endif
    struct stat folder_status {};
    struct stat file_status {};
    if (::fstat(folder, &folder_status) != 0 || ::fstat(file, &file_status) != 0) {
        return outcome_of(errno);
    }
    mount_point = folder_status.st_dev != file_status.st_dev;
    return Outcome::done;
}

Outcome create_nameless([[maybe_unused]] const Output& output,
                        [[maybe_unused]] Temporary& temporary) {
#if DIMTOOLS_HAVE_PROC_FS && DIMTOOLS_HAVE_O_TMPFILE
    if (!on_proc("/proc/self/fd")) return Outcome::refused;
    temporary.file =
        open_at(output.folder.descriptor(), ".", O_WRONLY | O_TMPFILE, temporary_mode(output));
    if (!temporary.file.is_open()) return outcome_of(errno);
    return take_identity(temporary) ? Outcome::done : Outcome::failed;
#else
    return Outcome::refused;
#endif
}

// Where the identity of a file just made cannot be told, its name goes at once.
Outcome create_beside(const Output& output, const NativePath& name, Temporary& temporary) {
    const int folder = output.folder.descriptor();
    return with_signals_held([&] {
        temporary.file =
            open_at(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, temporary_mode(output));
        if (!temporary.file.is_open()) return outcome_of(errno);
        if (take_identity(temporary)) {
            set_pending(folder, name);
            return Outcome::done;
        }
        (void)::unlinkat(folder, name.c_str(), 0);
        temporary.file = File();
        return Outcome::failed;
    });
}

Outcome give_name([[maybe_unused]] const Output& output,
                  [[maybe_unused]] const Temporary& temporary,
                  [[maybe_unused]] const NativePath& name) {
#if DIMTOOLS_HAVE_PROC_FS && DIMTOOLS_HAVE_O_TMPFILE
    const int folder = output.folder.descriptor();
    return with_signals_held([&] {
        if (::linkat(AT_FDCWD, descriptor_link(temporary.file.descriptor()).c_str(), folder,
                     name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            return outcome_of(errno);
        }
        if (name != output.target) set_pending(folder, name);
        return Outcome::done;
    });
#else
    return Outcome::refused;
#endif
}

std::uint64_t name_seed() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 32 |
           static_cast<std::uint32_t>(now.tv_nsec);
}

// The owner first (no other user's: in place), the mode last.
Outcome copy_output_attributes(const Output& output, const Temporary& temporary) {
    if (!output.existing.is_open()) return Outcome::done;
    const int from = output.existing.descriptor();
    const int to = temporary.file.descriptor();
    struct stat status {};
    int error = posix::error_unless(::fstat(from, &status) == 0 &&
                                    ::fchown(to, status.st_uid, status.st_gid) == 0);
    if (error == 0) error = posix::copy_attributes(from, to);
    if (error == 0) error = posix::error_unless(::fchmod(to, status.st_mode & 07777) == 0);
    return outcome_of(error);
}

// Where two names can be exchanged at once, the file that left the output's
// name is checked: the one opened is removed; another, moved there since, is
// put back and the step refused. Where it cannot be put back, the output
// holds the new contents, a success, and the other name's file is kept.
// Elsewhere the name is checked just before a plain rename.
Outcome replace_output(Output& output, Temporary& temporary) {
    const int folder = output.folder.descriptor();
    const char* const name = temporary.name.c_str();
    const char* const target = output.target.c_str();
    const auto renamed = [&] {
        pending.folder = -1;
        temporary.name.clear();
        return Outcome::done;
    };
    return with_signals_held([&] {
        const auto rename = [&] {
            return ::renameat(folder, name, folder, target) == 0 ? renamed() : outcome_of(errno);
        };
        if (!output.existing.is_open()) return rename();
        const int exchanged = exchange(folder, name, target);
        if (exchanged == ENOSYS) {
            bool leads = false;
            const Outcome checked = name_leads_to_file(output, leads);
            return checked != Outcome::done ? checked : leads ? rename() : Outcome::refused;
        }
        if (exchanged != 0) return outcome_of(exchanged);
        bool left_is_opened = false;
        const bool checked = names_opened_file(output, name, left_is_opened) == Outcome::done;
        if (left_is_opened && ::unlinkat(folder, name, 0) == 0) return renamed();
        if (exchange(folder, name, target) != 0) return renamed();
        return checked && !left_is_opened ? Outcome::refused : Outcome::failed;
    });
}

// Where a sandbox lets a file be made but not removed, what stays behind is
// emptied through a descriptor proven to be the temporary.
void remove_temporary(const Output& output, const Temporary& temporary) {
    const int folder = output.folder.descriptor();
    const char* const name = temporary.name.c_str();
    (void)with_signals_held([&] {
        struct stat status {};
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            is_temporary(status, temporary) && ::unlinkat(folder, name, 0) != 0) {
            const File left = open_at(folder, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK);
            if (left.is_open() && ::fstat(left.descriptor(), &status) == 0 &&
                is_temporary(status, temporary)) {
                (void)truncate_to_nothing(left.descriptor());
            }
        }
        pending.folder = -1;
        return Outcome::done;
    });
}

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read       ? O_RDONLY
                      : mode == OpenMode::read_now ? O_RDONLY | O_NONBLOCK
                      : mode == OpenMode::update   ? O_WRONLY | O_NONBLOCK
                                                   : O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY;
    file = open_at(AT_FDCWD, path, flags);
    if (!file.is_open()) return false;
    if ((flags & O_NONBLOCK) != 0 && ::fcntl(file.descriptor(), F_SETFL, 0) != 0) return false;
    struct stat status {};
    return ::fstat(file.descriptor(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool truncate_to_nothing(int descriptor) { return ::ftruncate(descriptor, 0) == 0; }
bool close_descriptor(int descriptor) { return ::close(descriptor) == 0; }
bool seek_to(int descriptor, std::int64_t position) {
    return ::lseek(descriptor, static_cast<off_t>(position), SEEK_SET) == position;
}
bool seek_to_end(int descriptor, std::int64_t& position) {
    position = ::lseek(descriptor, 0, SEEK_END);
    return position >= 0;
}
std::ptrdiff_t read_some(int descriptor, std::span<std::byte> bytes) {
    return retried([&] { return ::read(descriptor, bytes.data(), transfer_size(bytes.size())); });
}
std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes) {
    return retried([&] { return ::write(descriptor, bytes.data(), transfer_size(bytes.size())); });
}
}  // namespace platform

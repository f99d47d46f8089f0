// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

namespace {

int open_descriptor(const char* path, int flags) {
    int descriptor;
    do {
        descriptor = ::open(path, flags | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

// Replaces target by the file its chain of symbolic links ends at, which
// need not exist. A chain too long or unreadable is left for the open to
// refuse.
void follow_links(NativePath& target) {
    for (int hop = 0; hop < 40; ++hop) {
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof link) return;
        const std::string_view next(link, static_cast<std::size_t>(length));
        if (next.front() == '/') {
            target.assign(next);
        } else {
            target.erase(target.rfind('/') + 1).append(next);
        }
    }
}

}  // namespace

// The owner, group and mode of the existing target, so that the file that
// replaces it looks the same; a new output keeps the mode it was created
// with (0666 less the umask). A user may not give a file to another user:
// that failure leaves the output to be written in place.
bool take_attributes_of(const File& existing, const File& temporary, const NativePath&) {
    if (existing.descriptor < 0) return true;
    struct stat status {};
    return ::fstat(existing.descriptor, &status) == 0 &&
           ::fchown(temporary.descriptor, status.st_uid, status.st_gid) == 0 &&
           ::fchmod(temporary.descriptor, status.st_mode & 07777) == 0;
}

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read       ? O_RDONLY
                      : mode == OpenMode::read_now ? O_RDONLY | O_NONBLOCK
                      : mode == OpenMode::update   ? O_WRONLY | O_NONBLOCK
                      : mode == OpenMode::replace  ? O_WRONLY | O_CREAT | O_TRUNC
                                                   : O_WRONLY | O_CREAT | O_EXCL;
    const int descriptor = open_descriptor(path, flags);
    if (descriptor < 0) return false;
    file.descriptor = descriptor;
    // Once open, reads and writes wait as usual.
    if ((flags & O_NONBLOCK) != 0 && ::fcntl(descriptor, F_SETFL, 0) != 0) return false;
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode);
}

bool open_output(const native_char* path, Output& output) {
    output.target = path;
    follow_links(output.target);
    const int descriptor = open_descriptor(output.target.c_str(), O_WRONLY);
    if (descriptor < 0) {
        output.replaceable = errno == ENOENT;
        return output.replaceable;
    }
    output.existing.descriptor = descriptor;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return false;
    output.regular = S_ISREG(status.st_mode);
    output.replaceable = output.regular && status.st_nlink == 1;
    return true;
}

std::uint32_t temporary_seed() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint32_t>(::getpid()) * 2654435761u ^
           static_cast<std::uint32_t>(now.tv_nsec);
}

bool rename_over(const NativePath& from, const NativePath& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void remove_path(const NativePath& path) { (void)::unlink(path.c_str()); }

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

// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file.hpp"
#include "open_path.hpp"

namespace platform {
namespace {

// Transfers are split so that no single call asks for more than the kernel
// moves at once (Linux caps one call at a little under 2 GiB).
constexpr std::size_t largest_transfer = std::size_t{1} << 30;

}  // namespace

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read     ? O_RDONLY
                      : mode == OpenMode::update ? O_WRONLY
                                                 : O_WRONLY | O_CREAT | O_TRUNC;
    int descriptor;
    do {
        descriptor = ::open(path, flags | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return false;
    file.descriptor = descriptor;
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode);
}

File::~File() {
    if (descriptor >= 0) ::close(descriptor);
}

bool file_length(File& file, std::int64_t& length) {
    const off_t end = ::lseek(file.descriptor, 0, SEEK_END);
    if (end < 0 || ::lseek(file.descriptor, 0, SEEK_SET) != 0) return false;
    length = end;
    return true;
}

bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes) {
    while (!bytes.empty()) {
        const std::size_t want = bytes.size() < largest_transfer ? bytes.size() : largest_transfer;
        const ssize_t got =
            ::pread(file.descriptor, bytes.data(), want, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(got));
        position += got;
    }
    return true;
}

bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count) {
    const std::size_t want = bytes.size() < largest_transfer ? bytes.size() : largest_transfer;
    ssize_t got;
    do {
        got = ::read(file.descriptor, bytes.data(), want);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return false;
    count = static_cast<std::size_t>(got);
    return true;
}

bool write_all_at(File& file, std::int64_t position, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const std::size_t want = bytes.size() < largest_transfer ? bytes.size() : largest_transfer;
        const ssize_t put =
            ::pwrite(file.descriptor, bytes.data(), want, static_cast<off_t>(position));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(put));
        position += put;
    }
    return true;
}

bool write_all(File& file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const std::size_t want = bytes.size() < largest_transfer ? bytes.size() : largest_transfer;
        const ssize_t put = ::write(file.descriptor, bytes.data(), want);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

bool close_file(File& file) {
    const int descriptor = file.descriptor;
    file.descriptor = -1;
    // After close() the descriptor is released even when it reports an
    // error, so it is never retried.
    return ::close(descriptor) == 0;
}

void print_usage(std::string_view line) {
    const std::string_view end_of_line = "\n";
    // Nothing can be done about a failure to report the usage line.
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    (void)!::write(STDERR_FILENO, end_of_line.data(), end_of_line.size());
}

}  // namespace platform

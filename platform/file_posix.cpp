// POSIX side of the file seam: plain descriptors, no stdio buffering, so that
// every byte is handed to the kernel by the call that is checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

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

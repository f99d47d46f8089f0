// Windows side of the file seam: the C runtime's low-level wide-character
// calls, so any Unicode path opens, always in binary mode, with 64-bit
// positions so that images over 2 GiB work in a 32-bit process.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read     ? _O_RDONLY
                      : mode == OpenMode::update ? _O_WRONLY
                                                 : _O_WRONLY | _O_CREAT | _O_TRUNC;
    int descriptor = -1;
    if (_wsopen_s(&descriptor, path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0) {
        return false;
    }
    file.descriptor = descriptor;
    struct _stat64 status {};
    return _fstat64(descriptor, &status) == 0 && (status.st_mode & _S_IFDIR) == 0;
}

bool seek_to(File& file, std::int64_t position) {
    return _lseeki64(file.descriptor, position, SEEK_SET) == position;
}

bool seek_to_end(File& file, std::int64_t& position) {
    position = _lseeki64(file.descriptor, 0, SEEK_END);
    return position >= 0;
}

bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count) {
    const int got =
        _read(file.descriptor, bytes.data(), static_cast<unsigned>(transfer_size(bytes.size())));
    if (got < 0) return false;
    count = static_cast<std::size_t>(got);
    return true;
}

bool write_some(File& file, std::span<const std::byte> bytes, std::size_t& written) {
    const int put =
        _write(file.descriptor, bytes.data(), static_cast<unsigned>(transfer_size(bytes.size())));
    if (put < 0) return false;
    written = static_cast<std::size_t>(put);
    return true;
}

bool close_descriptor(int descriptor) { return _close(descriptor) == 0; }

// Standard error is in text mode: the line end arrives as CR LF.
void write_error_text(std::string_view text) {
    (void)_write(2, text.data(), static_cast<unsigned>(text.size()));
}

}  // namespace platform

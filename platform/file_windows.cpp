// Windows side of the file seam: the C runtime's low-level wide-character
// calls, so any Unicode path opens, always in binary mode, with 64-bit
// positions so that images over 2 GiB work in a 32-bit process. Every path
// goes to the system in a form that reaches it at any length.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

namespace {

bool full_path(const native_char* path, NativePath& full) {
    full.resize(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return false;
        const bool fits = length < full.size();
        full.resize(length);
        if (fits) return true;
    }
}

// A path whose full form reaches MAX_PATH goes in the \\?\ form
// (\\?\UNC\server\share\... for a network path), which no length limit
// applies to, whether the system's long-path setting is on or not; a shorter
// one goes as it was given, so that what Windows makes of short names (NUL,
// a trailing dot) stays as it was.
NativePath long_form(const native_char* path) {
    constexpr std::wstring_view verbatim = L"\\\\?\\";
    constexpr std::wstring_view device = L"\\\\.\\";
    constexpr std::wstring_view network = L"\\\\";
    const std::wstring_view given(path);
    NativePath full;
    if (given.starts_with(verbatim) || !full_path(path, full) || full.size() < MAX_PATH) {
        return NativePath(given);
    }
    if (full.starts_with(verbatim) || full.starts_with(device)) return full;
    if (full.starts_with(network)) return NativePath(L"\\\\?\\UNC\\") + full.substr(network.size());
    return NativePath(verbatim) + full;
}

NativePath long_form(const NativePath& path) { return long_form(path.c_str()); }

// Binary, not inherited by child processes, shared with every other opener;
// 0 or the runtime's error.
errno_t open_file(const native_char* path, int flags, File& file) {
    int descriptor = -1;
    const errno_t error =
        _wsopen_s(&descriptor, long_form(path).c_str(), flags | _O_BINARY | _O_NOINHERIT,
                  _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (error == 0) file = File(descriptor);
    return error;
}

HANDLE handle_of(const File& file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(file.descriptor()));
}

// A symbolic link stays a link: the file it finally names is replaced.
void follow_links(HANDLE handle, NativePath& target) {
    const DWORD attributes = GetFileAttributesW(long_form(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return;
    }
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD wanted = GetFinalPathNameByHandleW(handle, nullptr, 0, flags);
    if (wanted == 0) return;
    NativePath final_path(wanted, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, final_path.data(), wanted, flags);
    if (length == 0 || length >= wanted) return;
    final_path.resize(length);
    target = final_path;
}

// Whether another process holds the file (in its long form) open without
// sharing its deletion. ReplaceFileW is called only where none does: Wine's
// leaves a file of its own behind each time it fails so.
bool held_elsewhere(const NativePath& path) {
    const HANDLE probe =
        CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

}  // namespace

// A hidden or system file stays one; ReplaceFileW gives the new file the
// rest (its access control list, its streams); a new output takes its folder's.
Step take_attributes_of(const Output& output, const Temporary& temporary) {
    if (!output.existing.is_open()) return Step::done;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle_of(output.existing), &information)) {
        return Step::refused;
    }
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = information.dwFileAttributes & kept;
    return attributes == 0 || SetFileAttributesW(long_form(temporary.name).c_str(), attributes) != 0
               ? Step::done
               : Step::refused;
}

bool open_path(const native_char* path, OpenMode mode, File& file) {
    // Opening never waits for another process here.
    const int flags = mode == OpenMode::read || mode == OpenMode::read_now ? _O_RDONLY
                      : mode == OpenMode::update                           ? _O_WRONLY
                                                 : _O_WRONLY | _O_CREAT | _O_TRUNC;
    if (open_file(path, flags, file) != 0) return false;
    struct _stat64 status {};
    return _fstat64(file.descriptor(), &status) == 0 && (status.st_mode & _S_IFDIR) == 0;
}

bool open_output(const native_char* path, Output& output) {
    output.path = path;
    // ReplaceFileW under Wine fails for a relative name.
    if (!full_path(path, output.target)) return false;
    const errno_t error = open_file(path, _O_WRONLY, output.existing);
    if (error != 0) {
        output.replaceable = error == ENOENT;
        return output.replaceable;
    }
    const HANDLE handle = handle_of(output.existing);
    // NUL, CON, a pipe: written in place.
    if (GetFileType(handle) != FILE_TYPE_DISK) return true;
    // The open refuses a read-only file, but Wine run by root does not:
    // the attribute is checked here too, so a rename never replaces one.
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    output.regular = true;
    output.replaceable = information.nNumberOfLinks == 1;
    follow_links(handle, output.target);
    return true;
}

std::uint64_t process_and_time() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return std::uint64_t{GetCurrentProcessId()} << 32 | now.LowPart;
}

// Temporary files here always have a name.
Step create_nameless(const Output&, File&) { return Step::refused; }

Step give_name(const Output&, const File&, const NativePath&) { return Step::refused; }

// A folder where no file may be made leaves the output to be written in
// place; a full disk or an I/O error leaves it as it was.
Step create_beside(const Output&, const NativePath& name, File& file) {
    const errno_t error = open_file(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL, file);
    return error == 0        ? Step::done
           : error == EEXIST ? Step::name_taken
           : error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG ||
                   error == ENOENT || error == EINVAL
               ? Step::refused
               : Step::data_failed;
}

// ReplaceFileW for an existing output, a rename for a new one. Another
// process holding the output open without sharing its deletion (a reader, a
// virus scanner, an indexer) blocks either: tried again for about a second,
// then the run fails with the output as it was.
Step replace_output(Output& output, const NativePath& name) {
    // Windows replaces no file this process still holds open.
    if (!output.existing.close()) return Step::data_failed;
    const NativePath target = long_form(output.target);
    const NativePath replacement = long_form(name);
    for (int attempt = 0;; ++attempt) {
        if (output.regular && held_elsewhere(target)) {
            SetLastError(ERROR_SHARING_VIOLATION);
        } else if (output.regular
                       ? ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                       : MoveFileExW(replacement.c_str(), target.c_str(),
                                     MOVEFILE_REPLACE_EXISTING) != 0) {
            return Step::done;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
             error != ERROR_UNABLE_TO_REMOVE_REPLACED) ||
            attempt == 20) {
            return Step::data_failed;
        }
        Sleep(50);
    }
}

void remove_beside(const Output&, const NativePath& name) {
    (void)DeleteFileW(long_form(name).c_str());
}

bool truncate_to_nothing(int descriptor) { return _chsize_s(descriptor, 0) == 0; }

bool seek_to(int descriptor, std::int64_t position) {
    return _lseeki64(descriptor, position, SEEK_SET) == position;
}

bool seek_to_end(int descriptor, std::int64_t& position) {
    position = _lseeki64(descriptor, 0, SEEK_END);
    return position >= 0;
}

std::ptrdiff_t read_some(int descriptor, std::span<std::byte> bytes) {
    return _read(descriptor, bytes.data(), static_cast<unsigned>(transfer_size(bytes.size())));
}

// Standard error is in text mode: a line end arrives there as CR LF.
std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes) {
    return _write(descriptor, bytes.data(), static_cast<unsigned>(transfer_size(bytes.size())));
}

bool close_descriptor(int descriptor) { return _close(descriptor) == 0; }

}  // namespace platform

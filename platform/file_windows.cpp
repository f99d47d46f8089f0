// Windows side of the file seam: the C runtime's wide-character calls, so
// any Unicode path opens, in binary mode, with 64-bit positions even in a
// 32-bit process; every path in a form that reaches it at any length.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "primitives.hpp"

namespace platform {
namespace {
bool full_path(const native_char* path, NativePath& full) {
    const DWORD wanted = GetFullPathNameW(path, 0, nullptr, nullptr);
    full.resize(wanted);
    const DWORD length = GetFullPathNameW(path, wanted, full.data(), nullptr);
    full.resize(length < wanted ? length : 0);
    return length != 0 && length < wanted;
}

// A path whose full form reaches MAX_PATH goes in the \\?\ form (\\?\UNC\...
// for a network path), whatever the system's long-path setting; a shorter
// one as given, so that what Windows makes of NUL or a trailing dot stays.
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

NativePath beside(const Output& output, const NativePath& name) {
    return long_form((output.folder_path + name).c_str());
}

// Binary, not inherited, shared with every other opener.
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
bool follow_links(HANDLE handle, NativePath& target) {
    const DWORD attributes = GetFileAttributesW(long_form(target.c_str()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD wanted = GetFinalPathNameByHandleW(handle, nullptr, 0, flags);
    NativePath final_path(wanted, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, final_path.data(), wanted, flags);
    if (wanted == 0 || length == 0 || length >= wanted) return false;
    target = final_path.substr(0, length);
    return true;
}

// Open elsewhere without sharing its deletion: ReplaceFileW is not called
// then, as Wine's leaves a file of its own behind each time it fails so.
bool held_elsewhere(const NativePath& path) {
    const HANDLE probe =
        CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

// The named temporary that Ctrl-C, Ctrl-Break or a closed console removes
// before the run ends: the one state outside a call, as the handler runs on
// a thread of its own. Its lock stays taken: nothing changes after it.
SRWLOCK pending_lock = SRWLOCK_INIT;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
wchar_t pending_name[32768];          // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

BOOL WINAPI remove_pending(DWORD event) {  // the system's own handler then ends the process
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        AcquireSRWLockExclusive(&pending_lock);
        if (pending_name[0] != 0) (void)DeleteFileW(pending_name);
    }
    return FALSE;
}

void set_pending(const NativePath& name) {  // a full path fits
    AcquireSRWLockExclusive(&pending_lock);
    pending_name[name.copy(pending_name, std::size(pending_name) - 1)] = 0;
    ReleaseSRWLockExclusive(&pending_lock);
}
}  // namespace

Outcome open_output(const native_char* path, Output& output) {
    output.path = path;
    const errno_t error = open_file(path, _O_WRONLY, output.existing);
    if (error != 0) return error == ENOENT ? Outcome::done : Outcome::failed;
    const HANDLE handle = handle_of(output.existing);
    if (GetFileType(handle) != FILE_TYPE_DISK) return Outcome::done;
    // Wine run by root opens a read-only file: a rename must not replace it.
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Outcome::failed;
    }
    output.regular = true;
    output.links = information.nNumberOfLinks;
    output.owner_can_be_given = true;  // ReplaceFileW keeps the owner and the access list
    return Outcome::done;
}

// A full path: ReplaceFileW under Wine fails for a relative one.
Outcome find_folder(Output& output) {
    NativePath full;
    if (!full_path(output.path, full) ||
        (output.existing.is_open() && !follow_links(handle_of(output.existing), full))) {
        return Outcome::failed;
    }
    const std::size_t cut = full.find_last_of(L"\\/");
    if (cut == NativePath::npos || cut + 1 == full.size()) return Outcome::done;
    output.folder_path = full.substr(0, cut + 1);
    output.target = full.substr(cut + 1);
    return Outcome::done;
}

// ReplaceFileW replaces by name; no single file is a mount of its own.
Outcome folder_takes_new_file(const Output& output, bool& takes) {
    takes = !output.folder_path.empty();
    return Outcome::done;
}
Outcome name_leads_to_file(const Output&, bool& leads) {
    leads = true;
    return Outcome::done;
}
Outcome is_mount_point(const Output&, bool& mount_point) {
    mount_point = false;
    return Outcome::done;
}
std::uint64_t name_seed() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return std::uint64_t{GetCurrentProcessId()} << 32 | now.LowPart;
}
Outcome create_nameless(const Output&, Temporary&) { return Outcome::refused; }
Outcome give_name(const Output&, const Temporary&, const NativePath&) { return Outcome::refused; }

// Shared for deletion, so that the handler above can remove it while open.
Outcome create_beside(const Output& output, const NativePath& name, Temporary& temporary) {
    const NativePath full = beside(output, name);
    const HANDLE handle = CreateFileW(full.c_str(), GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Outcome::name_taken
               : error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
                       error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME ||
                       error == ERROR_PATH_NOT_FOUND
                   ? Outcome::refused
                   : Outcome::failed;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        (void)DeleteFileW(full.c_str());
        return Outcome::failed;
    }
    temporary.file = File(descriptor);
    set_pending(full);
    static const bool catching = SetConsoleCtrlHandler(remove_pending, TRUE) != 0;
    (void)catching;
    return Outcome::done;
}

// A hidden or system file stays one; ReplaceFileW gives the rest (the
// access control list, the streams).
Outcome copy_output_attributes(const Output& output, const Temporary& temporary) {
    if (!output.existing.is_open()) return Outcome::done;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle_of(output.existing), &information)) {
        return Outcome::failed;
    }
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = information.dwFileAttributes & kept;
    const NativePath full = beside(output, temporary.name);
    return attributes == 0 || SetFileAttributesW(full.c_str(), attributes) != 0 ? Outcome::done
                                                                                : Outcome::refused;
}

// ReplaceFileW for an existing output, a rename for a new one; tried again
// for about a second while another process (a reader, a virus scanner, an
// indexer) holds the output. Where ReplaceFileW has removed the output but
// not renamed the new file, the rename is made.
Outcome replace_output(Output& output, Temporary& temporary) {
    constexpr int attempts = 20;
    constexpr DWORD pause_milliseconds = 50;
    if (!output.existing.close()) return Outcome::failed;
    const NativePath target = beside(output, output.target);
    const NativePath replacement = beside(output, temporary.name);
    const auto renamed = [&] {
        return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    };
    for (int attempt = 0;; ++attempt) {
        if (output.regular && held_elsewhere(target)) {
            SetLastError(ERROR_SHARING_VIOLATION);
        } else if (output.regular
                       ? ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0 ||
                             (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT && renamed())
                       : renamed()) {
            set_pending({});
            temporary.name.clear();
            return Outcome::done;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
             error != ERROR_UNABLE_TO_REMOVE_REPLACED) ||
            attempt == attempts) {
            return Outcome::failed;
        }
        Sleep(pause_milliseconds);
    }
}

// No names are exchanged here: the name still holds the temporary.
void remove_temporary(const Output& output, const Temporary& temporary) {
    (void)DeleteFileW(beside(output, temporary.name).c_str());
    set_pending({});
}
bool open_path(const native_char* path, OpenMode mode, File& file) {
    const int flags = mode == OpenMode::read || mode == OpenMode::read_now ? _O_RDONLY
                      : mode == OpenMode::update                           ? _O_WRONLY
                                                 : _O_WRONLY | _O_CREAT | _O_TRUNC;
    if (open_file(path, flags, file) != 0) return false;
    struct _stat64 status {};
    return _fstat64(file.descriptor(), &status) == 0 && (status.st_mode & _S_IFDIR) == 0;
}
bool truncate_to_nothing(int descriptor) { return _chsize_s(descriptor, 0) == 0; }
bool close_descriptor(int descriptor) { return _close(descriptor) == 0; }
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
}  // namespace platform

// The flags of files and folders: Linux's inode flags and project ID
// (chattr, through ioctls), or the st_flags of macOS and the BSDs (chflags).
// Without either, files have no flags to keep.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "posix_system.hpp"

#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace platform::posix {

#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS

namespace {

// What chattr sets on a file and a new file can be given; not immutable or
// append-only, which refuse the output's open anyway, nor what the file
// system keeps for itself (extents, inline data, encryption).
constexpr int user_flags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
                           FS_NOATIME_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_NOCOW_FL |
                           FS_DAX_FL | FS_NOCOMP_FL;

// A file system without the ioctl has no flags. ENOSYS comes from an
// emulator that does not pass the ioctl on (qemu-user, for the project ID).
bool without_flags() {
    return errno == ENOTTY || errno == ENOTSUP || errno == EINVAL || errno == ENOSYS;
}

bool flags_of(int descriptor, int& flags) {
    flags = 0;
    return ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 || without_flags();
}

bool project_of(int descriptor, fsxattr& attributes) {
    attributes = {};
    return ::ioctl(descriptor, FS_IOC_FSGETXATTR, &attributes) == 0 || without_flags();
}

}  // namespace

// Set on the empty file: some (no copy-on-write) take effect only there.
int copy_file_flags(int from, int to) {
    int old_flags = 0;
    int new_flags = 0;
    if (!flags_of(from, old_flags) || !flags_of(to, new_flags)) return errno;
    const int wanted = (new_flags & ~user_flags) | (old_flags & user_flags);
    if (wanted != new_flags && ::ioctl(to, FS_IOC_SETFLAGS, &wanted) != 0) return errno;
    fsxattr old_project{};
    fsxattr new_project{};
    if (!project_of(from, old_project) || !project_of(to, new_project)) return errno;
    if (old_project.fsx_projid == new_project.fsx_projid) return 0;
    new_project.fsx_projid = old_project.fsx_projid;
    return error_unless(::ioctl(to, FS_IOC_FSSETXATTR, &new_project) == 0);
}

// The folder is open for search only: statx tells its flags where the file
// system reports them; else they are read through a descriptor that may
// read it, and where none can be had, the folder counts as refusing.
bool folder_refuses_rename(int folder) {
#if DIMTOOLS_HAVE_STATX_ATTRIBUTES
    constexpr auto either = STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE;
    struct statx status {};
    if (::statx(folder, "", AT_EMPTY_PATH, 0, &status) == 0 &&
        (status.stx_attributes_mask & either) == either) {
        return (status.stx_attributes & either) != 0;
    }
#endif
    const File readable = open_at(folder, ".", O_RDONLY | O_DIRECTORY);
    int flags = 0;
    return !readable.is_open() || !flags_of(readable.descriptor(), flags) ||
           (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

#elif DIMTOOLS_HAVE_ST_FLAGS

using Flags = decltype(stat::st_flags);

// What chflags lets the owner set, but immutable and append-only.
constexpr Flags user_flags = UF_SETTABLE & ~(UF_IMMUTABLE | UF_APPEND);

// Flags only the system or the superuser may set (archived, restricted)
// that the new file would not have are a doubt: the output is then written
// in place.
int copy_file_flags(int from, int to) {
    struct stat old_status {};
    struct stat new_status {};
    if (::fstat(from, &old_status) != 0 || ::fstat(to, &new_status) != 0) return errno;
    const Flags system_flags = old_status.st_flags & ~user_flags;
    if (system_flags != (new_status.st_flags & ~user_flags)) return EOPNOTSUPP;
    const Flags wanted = system_flags | (old_status.st_flags & user_flags);
    return error_unless(wanted == new_status.st_flags || ::fchflags(to, wanted) == 0);
}

bool folder_refuses_rename(int folder) {
    struct stat status {};
    return ::fstat(folder, &status) != 0 ||
           (status.st_flags & (UF_IMMUTABLE | UF_APPEND | SF_IMMUTABLE | SF_APPEND)) != 0;
}

#else

int copy_file_flags(int, int) { return 0; }

bool folder_refuses_rename(int) { return false; }

#endif

}  // namespace platform::posix

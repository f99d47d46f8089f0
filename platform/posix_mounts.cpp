// Whether a file is a mount of its own. Another file system shows in the
// device number; a file bind-mounted within the same file system only in
// Linux's mount ID (statx), where the system has it.
#include <fcntl.h>
#include <sys/stat.h>

#include "posix_system.hpp"

namespace platform::posix {

bool is_mount_point(int folder, int file) {
    struct stat folder_status {};
    struct stat file_status {};
    if (::fstat(folder, &folder_status) != 0 || ::fstat(file, &file_status) != 0) return true;
    if (folder_status.st_dev != file_status.st_dev) return true;
#if DIMTOOLS_HAVE_STATX_MOUNT_ID
    struct statx folder_mount {};
    struct statx file_mount {};
    // An older kernel tells no mount ID: the rename then finds out.
    return ::statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &folder_mount) == 0 &&
           ::statx(file, "", AT_EMPTY_PATH, STATX_MNT_ID, &file_mount) == 0 &&
           (folder_mount.stx_mask & file_mount.stx_mask & STATX_MNT_ID) != 0 &&
           folder_mount.stx_mnt_id != file_mount.stx_mnt_id;
#else
    return false;
#endif
}

}  // namespace platform::posix

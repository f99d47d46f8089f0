// Whether a file is a mount of its own: Linux's mount ID (statx) where the
// system has it, else the device number, which shows another file system
// but not a file bind-mounted within the same one.
#include <fcntl.h>
#include <sys/stat.h>

#include "posix_system.hpp"

namespace platform::posix {

// The mount ID decides where the system tells it: on an overlay whose
// layers lie on more than one file system, a file shows its layer's device
// number, not its folder's.
bool is_mount_point(int folder, int file) {
#if DIMTOOLS_HAVE_STATX_MOUNT_ID
    struct statx folder_mount {};
    struct statx file_mount {};
    if (::statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &folder_mount) == 0 &&
        ::statx(file, "", AT_EMPTY_PATH, STATX_MNT_ID, &file_mount) == 0 &&
        (folder_mount.stx_mask & file_mount.stx_mask & STATX_MNT_ID) != 0) {
        return folder_mount.stx_mnt_id != file_mount.stx_mnt_id;
    }
#endif
    struct stat folder_status {};
    struct stat file_status {};
    return ::fstat(folder, &folder_status) != 0 || ::fstat(file, &file_status) != 0 ||
           folder_status.st_dev != file_status.st_dev;
}

}  // namespace platform::posix

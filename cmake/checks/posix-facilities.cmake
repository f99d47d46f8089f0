# What the POSIX system offers beyond POSIX, each facility checked by
# compiling what uses it, never guessed from the system's name. The results
# become DIMTOOLS_HAVE_* definitions for the platform seam and the choice
# of the calls for extended attributes. DIMTOOLS_PORTABLE_POSIX builds the
# path of a system without Linux's extensions on Linux itself (the calls
# for attributes stay), so that it is tested here.
include(CheckCXXSourceCompiles)
include(CheckCXXSymbolExists)

option(DIMTOOLS_PORTABLE_POSIX
       "Build as if O_TMPFILE, O_PATH, /proc, statfs magic numbers, statx, renameat2 and inode-flag ioctls did not exist"
       OFF)

set(DIMTOOLS_POSIX_FACILITIES "")
function(dimtools_facility name found)
    if(found AND NOT DIMTOOLS_PORTABLE_POSIX)
        list(APPEND DIMTOOLS_POSIX_FACILITIES DIMTOOLS_HAVE_${name}=1)
        set(DIMTOOLS_POSIX_FACILITIES "${DIMTOOLS_POSIX_FACILITIES}" PARENT_SCOPE)
    endif()
endfunction()

check_cxx_symbol_exists(O_TMPFILE fcntl.h DIMTOOLS_CHECK_O_TMPFILE)
dimtools_facility(O_TMPFILE "${DIMTOOLS_CHECK_O_TMPFILE}")

check_cxx_source_compiles([=[
#include <linux/magic.h>
#include <sys/vfs.h>
int main() { struct statfs status; return statfs("/", &status) == 0 && status.f_type == PROC_SUPER_MAGIC; }
]=] DIMTOOLS_CHECK_PROC_FS)
dimtools_facility(PROC_FS "${DIMTOOLS_CHECK_PROC_FS}")

check_cxx_source_compiles([=[
#include <fcntl.h>
#include <sys/stat.h>
int main() { struct statx status; return statx(0, "", AT_EMPTY_PATH, STATX_MNT_ID, &status) == 0 && status.stx_mnt_id != 0; }
]=] DIMTOOLS_CHECK_STATX_MOUNT_ID)
dimtools_facility(STATX_MOUNT_ID "${DIMTOOLS_CHECK_STATX_MOUNT_ID}")

check_cxx_source_compiles([=[
#include <fcntl.h>
#include <sys/stat.h>
int main() {
    struct statx status;
    return statx(0, "", AT_EMPTY_PATH, 0, &status) == 0 &&
           (status.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
}
]=] DIMTOOLS_CHECK_STATX_ATTRIBUTES)
dimtools_facility(STATX_ATTRIBUTES "${DIMTOOLS_CHECK_STATX_ATTRIBUTES}")

# A folder opened for search only: Linux's O_PATH, or POSIX's O_SEARCH.
check_cxx_symbol_exists(O_PATH fcntl.h DIMTOOLS_CHECK_O_PATH)
dimtools_facility(O_PATH "${DIMTOOLS_CHECK_O_PATH}")

# Two names exchanged at once: Linux's renameat2, or macOS's renameatx_np.
check_cxx_source_compiles([=[
#include <fcntl.h>
#include <stdio.h>
int main() { return renameat2(AT_FDCWD, "a", AT_FDCWD, "b", RENAME_EXCHANGE); }
]=] DIMTOOLS_CHECK_RENAME_EXCHANGE)
dimtools_facility(RENAME_EXCHANGE "${DIMTOOLS_CHECK_RENAME_EXCHANGE}")

check_cxx_source_compiles([=[
#include <linux/fs.h>
#include <sys/ioctl.h>
int main() {
    int flags = FS_NODUMP_FL | FS_NOCOW_FL | FS_DAX_FL | FS_NOCOMP_FL | FS_APPEND_FL;
    struct fsxattr attributes {};
    return ioctl(0, FS_IOC_GETFLAGS, &flags) + ioctl(0, FS_IOC_SETFLAGS, &flags) +
           ioctl(0, FS_IOC_FSGETXATTR, &attributes) + ioctl(0, FS_IOC_FSSETXATTR, &attributes) +
           static_cast<int>(attributes.fsx_projid);
}
]=] DIMTOOLS_CHECK_INODE_FLAG_IOCTLS)
dimtools_facility(INODE_FLAG_IOCTLS "${DIMTOOLS_CHECK_INODE_FLAG_IOCTLS}")

# FAT's attributes (read-only, hidden, system, archive), which vfat keeps
# outside the mode.
check_cxx_source_compiles([=[
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
int main() {
    __u32 attributes = 0;
    return ioctl(0, FAT_IOCTL_GET_ATTRIBUTES, &attributes) + ioctl(0, FAT_IOCTL_SET_ATTRIBUTES, &attributes);
}
]=] DIMTOOLS_CHECK_FAT_IOCTLS)
dimtools_facility(FAT_IOCTLS "${DIMTOOLS_CHECK_FAT_IOCTLS}")

check_cxx_source_compiles([=[
#include <sys/stat.h>
#include <unistd.h>
int main() {
    struct stat status {};
    return fchflags(0, status.st_flags & (UF_SETTABLE | UF_APPEND | SF_IMMUTABLE));
}
]=] DIMTOOLS_CHECK_ST_FLAGS)
check_cxx_symbol_exists(O_SEARCH fcntl.h DIMTOOLS_CHECK_O_SEARCH)
check_cxx_source_compiles([=[
#include <fcntl.h>
#include <stdio.h>
int main() { return renameatx_np(AT_FDCWD, "a", AT_FDCWD, "b", RENAME_SWAP); }
]=] DIMTOOLS_CHECK_RENAME_SWAP)
# Not Linux's extensions: kept in the portable build.
foreach(name ST_FLAGS O_SEARCH RENAME_SWAP)
    if(DIMTOOLS_CHECK_${name})
        list(APPEND DIMTOOLS_POSIX_FACILITIES DIMTOOLS_HAVE_${name}=1)
    endif()
endforeach()

# The calls for extended attributes and access control lists: the first
# form the system has, else none (an existing output is then always written
# in place).
check_cxx_source_compiles([=[
#include <sys/xattr.h>
int main() {
    char value[1];
    return static_cast<int>(flistxattr(0, value, 1) + fgetxattr(0, "user.a", value, 1)) +
           fsetxattr(0, "user.a", value, 1, 0) + fremovexattr(0, "user.a");
}
]=] DIMTOOLS_CHECK_XATTR_LINUX)
check_cxx_source_compiles([=[
#include <sys/acl.h>
#include <sys/xattr.h>
int main() {
    char value[1];
    acl_t list = acl_get_fd_np(0, ACL_TYPE_EXTENDED);
    return static_cast<int>(flistxattr(0, value, 1, 0) + fgetxattr(0, "a", value, 1, 0, 0)) +
           fsetxattr(0, "a", value, 1, 0, 0) + acl_set_fd_np(0, list, ACL_TYPE_EXTENDED);
}
]=] DIMTOOLS_CHECK_XATTR_DARWIN)
check_cxx_source_compiles([=[
#include <sys/types.h>
#include <sys/acl.h>
#include <sys/extattr.h>
#include <unistd.h>
int main() {
    char value[1];
    acl_t list = acl_get_fd_np(0, ACL_TYPE_ACCESS);
    (void)fpathconf(0, _PC_ACL_NFS4);
    return static_cast<int>(extattr_list_fd(0, EXTATTR_NAMESPACE_USER, value, 1) +
                            extattr_get_fd(0, EXTATTR_NAMESPACE_USER, "a", value, 1) +
                            extattr_set_fd(0, EXTATTR_NAMESPACE_USER, "a", value, 1)) +
           acl_set_fd_np(0, list, ACL_TYPE_ACCESS);
}
]=] DIMTOOLS_CHECK_EXTATTR)
if(DIMTOOLS_CHECK_XATTR_LINUX)
    list(APPEND DIMTOOLS_POSIX_FACILITIES DIMTOOLS_HAVE_LINUX_XATTR=1)
elseif(DIMTOOLS_CHECK_XATTR_DARWIN)
    list(APPEND DIMTOOLS_POSIX_FACILITIES DIMTOOLS_HAVE_DARWIN_XATTR=1)
elseif(DIMTOOLS_CHECK_EXTATTR)
    list(APPEND DIMTOOLS_POSIX_FACILITIES DIMTOOLS_HAVE_EXTATTR=1)
endif()
message(STATUS "POSIX facilities: ${DIMTOOLS_POSIX_FACILITIES}")

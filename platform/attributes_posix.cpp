// What an output carries beyond bytes, owner and mode, copied onto its
// replacement: extended attributes and access lists (xattr on Linux and
// macOS, extattr and ACLs on FreeBSD), user flags (inode flags and project
// ID, or st_flags), FAT's and ntfs-3g's DOS attributes. Each gives 0 or the
// system's error; EOPNOTSUPP where no copy can be proven.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "primitives.hpp"

#if DIMTOOLS_HAVE_LINUX_XATTR || DIMTOOLS_HAVE_DARWIN_XATTR
#include <sys/xattr.h>
#endif
#if DIMTOOLS_HAVE_DARWIN_XATTR || DIMTOOLS_HAVE_EXTATTR
#include <sys/acl.h>
#endif
#if DIMTOOLS_HAVE_EXTATTR
#include <sys/extattr.h>
#endif
#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS || DIMTOOLS_HAVE_FAT_IOCTLS
#include <sys/ioctl.h>
#endif
#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
#include <linux/fs.h>
#endif
#if DIMTOOLS_HAVE_FAT_IOCTLS
#include <linux/msdos_fs.h>
#endif

namespace platform::posix {
namespace {

// ENOSYS comes from an emulator that passes no ioctl on (qemu-user).
[[maybe_unused]] bool nothing_of_the_kind() {
    return errno == ENOTTY || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EINVAL ||
           errno == ENOSYS || errno == ENODATA;
}

// read(nullptr, 0) asks for the length; ERANGE: it grew in between.
template <class Read>
[[maybe_unused]] bool read_sized(std::string& value, Read read) {
    for (;;) {
        const ssize_t wanted = read(nullptr, 0);
        value.resize(wanted > 0 ? static_cast<std::size_t>(wanted) : 0);
        const ssize_t got = wanted > 0 ? read(value.data(), value.size()) : wanted;
        if (got >= 0) return value.resize(static_cast<std::size_t>(got)), true;
        if (wanted < 0 || errno != ERANGE) return false;
    }
}

#if DIMTOOLS_HAVE_DARWIN_XATTR
// What the system sets on a new file of its own accord; the list is apart.
constexpr std::string_view system_attributes = "com.apple.system.";
constexpr std::string_view access_list_attribute{};
#define DIMTOOLS_XATTR_POSITION , 0  // macOS takes a position and options besides
#define DIMTOOLS_XATTR_OPTIONS , 0

// The old file's list, or an empty one, so that what the new file inherited
// from its folder is dropped.
int copy_access_list(int from, int to, bool) {
    acl_t list = ::acl_get_fd_np(from, ACL_TYPE_EXTENDED);
    if (list == nullptr) {
        if (errno != ENOENT && errno != ENOTSUP) return errno;
        list = ::acl_init(0);
        if (list == nullptr) return errno;
    }
    const int error =
        error_unless(::acl_set_fd_np(to, list, ACL_TYPE_EXTENDED) == 0 || errno == ENOTSUP);
    ::acl_free(list);
    return error;
}
#elif DIMTOOLS_HAVE_LINUX_XATTR
// The security labels, which the new file takes from its folder.
constexpr std::string_view system_attributes = "security.";
constexpr std::string_view access_list_attribute = "system.posix_acl_access";
#define DIMTOOLS_XATTR_POSITION
#define DIMTOOLS_XATTR_OPTIONS

// Copied with the others; one the new file inherited from its folder, where
// the old file had none, is dropped, as a truncating open adds none.
int copy_access_list(int, int to, bool had_list) {
    return error_unless(had_list || ::fremovexattr(to, access_list_attribute.data()) == 0 ||
                        errno == ENODATA || errno == ENOTSUP);
}
#endif

#if DIMTOOLS_HAVE_DARWIN_XATTR || DIMTOOLS_HAVE_LINUX_XATTR
ssize_t list_names(int file, char* buffer, std::size_t size) {
    return ::flistxattr(file, buffer, size DIMTOOLS_XATTR_OPTIONS);
}
ssize_t get_value(int file, const char* name, void* buffer, std::size_t size) {
    return ::fgetxattr(file, name, buffer, size DIMTOOLS_XATTR_POSITION DIMTOOLS_XATTR_OPTIONS);
}
int set_value(int file, const char* name, void* value, std::size_t size) {
    return ::fsetxattr(file, name, value, size DIMTOOLS_XATTR_POSITION, 0);
}

// Names ending in NUL; a file system without attributes has none.
int copy_extended(int from, int to) {
    std::string names;
    if (!read_sized(names, std::bind_front(list_names, from)) && errno != ENOTSUP) return errno;
    bool had_list = false;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        if (std::string_view(name).starts_with(system_attributes)) continue;
        had_list = had_list || name == access_list_attribute;
        std::string value;
        if (!read_sized(value, std::bind_front(get_value, from, name)) ||
            set_value(to, name, value.data(), value.size()) != 0) {
            return errno;
        }
    }
    return copy_access_list(from, to, had_list);
}
#elif DIMTOOLS_HAVE_EXTATTR
bool is_access_list(std::string_view name) {
    return name.starts_with("posix1e.acl_") || name == "nfs4.acl";
}

// Names each after a byte of its length. The system namespace, which only
// root sees, holds nothing but the lists, or root's output is written in place.
int copy_namespace(int from, int to, int space) {
    std::string names;
    if (!read_sized(names, std::bind_front(::extattr_list_fd, from, space))) {
        return errno == EOPNOTSUPP || (space == EXTATTR_NAMESPACE_SYSTEM && errno == EPERM) ? 0
                                                                                            : errno;
    }
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t length = static_cast<unsigned char>(names[at]);
        const std::string name = names.substr(at + 1, length);
        at += 1 + length;
        if (space == EXTATTR_NAMESPACE_SYSTEM) {
            if (!is_access_list(name)) return EOPNOTSUPP;
            continue;
        }
        std::string value;  // a value set short cannot be proven copied
        if (!read_sized(value, std::bind_front(::extattr_get_fd, from, space, name.c_str()))) {
            return errno;
        }
        const ssize_t set = ::extattr_set_fd(to, space, name.c_str(), value.data(), value.size());
        if (set != static_cast<ssize_t>(value.size())) return set < 0 ? errno : EOPNOTSUPP;
    }
    return 0;
}

// The list (POSIX.1e or NFSv4), set even where trivial, so that what the
// new file inherited from its folder is replaced.
int copy_extended(int from, int to) {
    int error = copy_namespace(from, to, EXTATTR_NAMESPACE_USER);
    if (error == 0) error = copy_namespace(from, to, EXTATTR_NAMESPACE_SYSTEM);
    if (error != 0) return error;
    const acl_type_t type = ::fpathconf(from, _PC_ACL_NFS4) > 0 ? ACL_TYPE_NFS4 : ACL_TYPE_ACCESS;
    if (type == ACL_TYPE_ACCESS && ::fpathconf(from, _PC_ACL_EXTENDED) <= 0) return 0;
    acl_t list = ::acl_get_fd_np(from, type);
    if (list == nullptr) return errno;
    error = error_unless(::acl_set_fd_np(to, list, type) == 0);
    ::acl_free(list);
    return error;
}
#else
int copy_extended(int, int) { return EOPNOTSUPP; }
#endif

#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
// What chattr sets and a new file can take: not immutable or append-only,
// which refuse the output's open anyway, nor the file system's own.
constexpr int user_flags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
                           FS_NOATIME_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_NOCOW_FL |
                           FS_DAX_FL | FS_NOCOMP_FL;

bool flags_of(int descriptor, int& flags) {
    flags = 0;
    return ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 || nothing_of_the_kind();
}
bool project_of(int descriptor, fsxattr& attributes) {
    attributes = {};
    return ::ioctl(descriptor, FS_IOC_FSGETXATTR, &attributes) == 0 || nothing_of_the_kind();
}

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
#elif DIMTOOLS_HAVE_ST_FLAGS
using Flags = decltype(stat::st_flags);

constexpr Flags user_flags = UF_SETTABLE & ~(UF_IMMUTABLE | UF_APPEND);

// Flags only the superuser may set that the new file lacks: in place.
int copy_file_flags(int from, int to) {
    struct stat old_status {};
    struct stat new_status {};
    if (::fstat(from, &old_status) != 0 || ::fstat(to, &new_status) != 0) return errno;
    const Flags system_flags = old_status.st_flags & ~user_flags;
    if (system_flags != (new_status.st_flags & ~user_flags)) return EOPNOTSUPP;
    const Flags wanted = system_flags | (old_status.st_flags & user_flags);
    return error_unless(wanted == new_status.st_flags || ::fchflags(to, wanted) == 0);
}
#else
int copy_file_flags(int, int) { return 0; }
#endif

// FAT's attributes (read-only, hidden, system, archive) through its ioctls,
// NTFS's through ntfs-3g's attribute; read back, as FAT keeps what it can.
int copy_dos_attributes([[maybe_unused]] int from, [[maybe_unused]] int to) {
    std::uint32_t wanted = 0;
    std::uint32_t given = 0;
#if DIMTOOLS_HAVE_FAT_IOCTLS
    if (::ioctl(from, FAT_IOCTL_GET_ATTRIBUTES, &wanted) == 0) {
        if (::ioctl(to, FAT_IOCTL_SET_ATTRIBUTES, &wanted) != 0) return errno;
        if (::ioctl(to, FAT_IOCTL_GET_ATTRIBUTES, &given) != 0) return errno;
        return given == wanted ? 0 : EOPNOTSUPP;
    }
    if (!nothing_of_the_kind()) return errno;
#endif
#if DIMTOOLS_HAVE_LINUX_XATTR
    constexpr const char* ntfs = "system.ntfs_attrib_be";
    if (get_value(from, ntfs, &wanted, sizeof wanted) < 0) return nothing_of_the_kind() ? 0 : errno;
    if (set_value(to, ntfs, &wanted, sizeof wanted) != 0) return errno;
    if (get_value(to, ntfs, &given, sizeof given) < 0) return errno;
#endif
    return given == wanted ? 0 : EOPNOTSUPP;
}
}  // namespace

int copy_attributes(int from, int to) {
    int error = copy_extended(from, to);
    if (error == 0) error = copy_file_flags(from, to);
    return error != 0 ? error : copy_dos_attributes(from, to);
}

// The folder is open for search only: statx tells its flags where the file
// system reports them, else a descriptor that may read it (EACCES: refused).
int folder_refuses_renames([[maybe_unused]] int folder, bool& refuses) {
    refuses = false;
#if DIMTOOLS_HAVE_STATX_ATTRIBUTES
    constexpr auto either = STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE;
    struct statx status {};
    if (::statx(folder, "", AT_EMPTY_PATH, 0, &status) != 0 && errno != ENOSYS) return errno;
    if ((status.stx_attributes_mask & either) == either) {
        refuses = (status.stx_attributes & either) != 0;
        return 0;
    }
#endif
#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
    const File readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int flags = 0;
    if (!readable.is_open() || !flags_of(readable.descriptor(), flags)) return errno;
    refuses = (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
    return 0;
#elif DIMTOOLS_HAVE_ST_FLAGS
    struct stat status {};
    if (::fstat(folder, &status) != 0) return errno;
    refuses = (status.st_flags & (UF_IMMUTABLE | UF_APPEND | SF_IMMUTABLE | SF_APPEND)) != 0;
    return 0;
#else
    return 0;
#endif
}
}  // namespace platform::posix

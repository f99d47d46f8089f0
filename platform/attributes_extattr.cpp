// Extended attributes and the access control list through FreeBSD's calls:
// attributes in namespaces, their names each after a byte of its length,
// and the list (POSIX.1e or NFSv4, as the file system keeps them) through
// the ACL calls.
#include <sys/acl.h>
#include <sys/extattr.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

#include "posix_system.hpp"
#include "read_sized.hpp"

namespace platform::posix {

namespace {

// A value set short cannot be proven copied.
int copy_attribute(int from, int to, int space, const std::string& name) {
    std::string value;
    if (!read_sized(value, std::bind_front(::extattr_get_fd, from, space, name.c_str()))) {
        return errno;
    }
    const ssize_t set = ::extattr_set_fd(to, space, name.c_str(), value.data(), value.size());
    return set < 0 ? errno : set == static_cast<ssize_t>(value.size()) ? 0 : EOPNOTSUPP;
}

// Where the lists live as system attributes (UFS), they are copied below.
bool is_access_list(std::string_view name) {
    return name.starts_with("posix1e.acl_") || name == "nfs4.acl";
}

// The user namespace is copied whole. The system namespace only root sees:
// for a user it is passed over, as Linux's trusted.* are; root's output is
// written in place where it holds anything but the lists.
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
        } else if (const int error = copy_attribute(from, to, space, name); error != 0) {
            return error;
        }
    }
    return 0;
}

// Always set, trivial or not, so that what the new file inherited from its
// folder is replaced.
int copy_access_list(int from, int to) {
    acl_type_t type;
    if (::fpathconf(from, _PC_ACL_NFS4) > 0) {
        type = ACL_TYPE_NFS4;
    } else if (::fpathconf(from, _PC_ACL_EXTENDED) > 0) {
        type = ACL_TYPE_ACCESS;
    } else {
        return 0;
    }
    acl_t list = ::acl_get_fd_np(from, type);
    if (list == nullptr) return errno;
    const int error = error_unless(::acl_set_fd_np(to, list, type) == 0);
    ::acl_free(list);
    return error;
}

}  // namespace

int copy_attributes(int from, int to) {
    int error = copy_namespace(from, to, EXTATTR_NAMESPACE_USER);
    if (error == 0) error = copy_namespace(from, to, EXTATTR_NAMESPACE_SYSTEM);
    return error != 0 ? error : copy_access_list(from, to);
}

}  // namespace platform::posix

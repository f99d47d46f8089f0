// Extended attributes and the access control list through the calls of
// Linux and of macOS, which take a position and options besides. Linux keeps
// the list as an attribute (system.posix_acl_access); macOS keeps it apart,
// as an ACL of its own (ACL_TYPE_EXTENDED).
#include <sys/xattr.h>
#if DIMTOOLS_HAVE_DARWIN_XATTR
#include <sys/acl.h>
#endif

#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

#include "posix_system.hpp"
#include "read_sized.hpp"

namespace platform::posix {

namespace {

#if DIMTOOLS_HAVE_DARWIN_XATTR

// What the system keeps for itself and sets on a new file of its own accord.
constexpr std::string_view system_attributes = "com.apple.system.";
constexpr std::string_view access_list_attribute{};  // none: the list is apart

ssize_t list_names(int file, char* buffer, std::size_t size) {
    return ::flistxattr(file, buffer, size, 0);
}
ssize_t get_value(int file, const char* name, char* buffer, std::size_t size) {
    return ::fgetxattr(file, name, buffer, size, 0, 0);
}
int set_value(int file, const char* name, std::string& value) {
    return ::fsetxattr(file, name, value.data(), value.size(), 0, 0);
}

// The old file's list, or an empty one where it has none, so that entries
// the new file inherited from its folder are dropped. A file system without
// lists has none to copy.
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

#else

// The security labels, which the new file takes from its folder.
constexpr std::string_view system_attributes = "security.";
constexpr std::string_view access_list_attribute = "system.posix_acl_access";

ssize_t list_names(int file, char* buffer, std::size_t size) {
    return ::flistxattr(file, buffer, size);
}
ssize_t get_value(int file, const char* name, char* buffer, std::size_t size) {
    return ::fgetxattr(file, name, buffer, size);
}
int set_value(int file, const char* name, std::string& value) {
    return ::fsetxattr(file, name, value.data(), value.size(), 0);
}

// Copied with the other attributes; one the new file inherited from its
// folder, where the old file had none, is dropped: a truncating open would
// not have added one.
int copy_access_list(int, int to, bool had_list) {
    return error_unless(had_list || ::fremovexattr(to, access_list_attribute.data()) == 0 ||
                        errno == ENODATA || errno == ENOTSUP);
}

#endif

}  // namespace

// Names ending in NUL; a file system without attributes has none.
int copy_attributes(int from, int to) {
    std::string names;
    if (!read_sized(names, std::bind_front(list_names, from)) && errno != ENOTSUP) return errno;
    bool had_list = false;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        if (std::string_view(name).starts_with(system_attributes)) continue;
        had_list = had_list || name == access_list_attribute;
        std::string value;
        if (!read_sized(value, std::bind_front(get_value, from, name)) ||
            set_value(to, name, value) != 0) {
            return errno;
        }
    }
    return copy_access_list(from, to, had_list);
}

}  // namespace platform::posix

// Extended attributes and the access control list through macOS's calls:
// the attribute calls take a position and options, and the list is no
// attribute but an ACL of its own (ACL_TYPE_EXTENDED).
#include <sys/acl.h>
#include <sys/xattr.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "posix_system.hpp"
#include "read_sized.hpp"

namespace platform::posix {

namespace {

// Names ending in NUL. A file system without attributes has none.
bool attribute_names(int descriptor, std::string& names) {
    return read_sized(names,
                      [&](char* buffer, std::size_t size) {
                          return ::flistxattr(descriptor, buffer, size, 0);
                      }) ||
           errno == ENOTSUP;
}

bool copy_attribute(int from, int to, const char* name) {
    std::string value;
    return read_sized(value,
                      [&](char* buffer, std::size_t size) {
                          return ::fgetxattr(from, name, buffer, size, 0, 0);
                      }) &&
           ::fsetxattr(to, name, value.data(), value.size(), 0, 0) == 0;
}

// The old file's list, or an empty one where it has none, so that entries
// the new file inherited from its folder are dropped. A file system without
// lists has none to copy.
bool copy_access_list(int from, int to) {
    acl_t list = ::acl_get_fd_np(from, ACL_TYPE_EXTENDED);
    if (list == nullptr) {
        if (errno != ENOENT && errno != ENOTSUP) return false;
        list = ::acl_init(0);
        if (list == nullptr) return false;
    }
    const bool set = ::acl_set_fd_np(to, list, ACL_TYPE_EXTENDED) == 0 || errno == ENOTSUP;
    ::acl_free(list);
    return set;
}

}  // namespace

// Every attribute but those the system keeps for itself (com.apple.system.*),
// which it sets on a new file of its own accord.
bool copy_attributes(int from, int to) {
    std::string names;
    if (!attribute_names(from, names)) return false;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        if (std::string_view(name).starts_with("com.apple.system.")) continue;
        if (!copy_attribute(from, to, name)) return false;
    }
    return copy_access_list(from, to);
}

}  // namespace platform::posix

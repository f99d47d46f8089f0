// Extended attributes through Linux's calls, the access control list among
// them (system.posix_acl_access).
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
                          return ::flistxattr(descriptor, buffer, size);
                      }) ||
           errno == ENOTSUP;
}

bool copy_attribute(int from, int to, const char* name) {
    std::string value;
    return read_sized(value,
                      [&](char* buffer, std::size_t size) {
                          return ::fgetxattr(from, name, buffer, size);
                      }) &&
           ::fsetxattr(to, name, value.data(), value.size(), 0) == 0;
}

constexpr const char* access_list = "system.posix_acl_access";

}  // namespace

// Every attribute but the security labels, which the new file takes from
// its folder. A list the new file inherited from its folder, where the old
// file had none, is dropped: a truncating open would not have added one.
bool copy_attributes(int from, int to) {
    std::string names;
    if (!attribute_names(from, names)) return false;
    bool had_access_list = false;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        if (std::string_view(name).starts_with("security.")) continue;
        had_access_list = had_access_list || std::string_view(name) == access_list;
        if (!copy_attribute(from, to, name)) return false;
    }
    return had_access_list || ::fremovexattr(to, access_list) == 0 || errno == ENODATA ||
           errno == ENOTSUP;
}

}  // namespace platform::posix

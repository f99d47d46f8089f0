// Exchanging two names of a folder at once: Linux's renameat2 with
// RENAME_EXCHANGE, macOS's renameatx_np with RENAME_SWAP. A file system
// that cannot, and a system without either, say so as ENOSYS.
#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "posix_system.hpp"

namespace platform::posix {

namespace {

[[maybe_unused]] int exchange_error(int error) {
    return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP ? ENOSYS : error;
}

}  // namespace

#if DIMTOOLS_HAVE_RENAME_EXCHANGE

int exchange(int folder, const char* one, const char* other) {
    return ::renameat2(folder, one, folder, other, RENAME_EXCHANGE) == 0 ? 0
                                                                         : exchange_error(errno);
}

#elif DIMTOOLS_HAVE_RENAME_SWAP

int exchange(int folder, const char* one, const char* other) {
    return ::renameatx_np(folder, one, folder, other, RENAME_SWAP) == 0 ? 0 : exchange_error(errno);
}

#else

int exchange(int, const char*, const char*) { return ENOSYS; }

#endif

}  // namespace platform::posix

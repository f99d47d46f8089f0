// Exchanging two names of a folder at once: Linux's renameat2 with
// RENAME_EXCHANGE, macOS's renameatx_np with RENAME_SWAP. A file system
// that cannot, and a system without either, say so as ENOSYS.
#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "posix_system.hpp"

namespace platform::posix {

int exchange([[maybe_unused]] int folder, [[maybe_unused]] const char* one,
             [[maybe_unused]] const char* other) {
#if DIMTOOLS_HAVE_RENAME_EXCHANGE
    const int error = error_unless(::renameat2(folder, one, folder, other, RENAME_EXCHANGE) == 0);
#elif DIMTOOLS_HAVE_RENAME_SWAP
    const int error = error_unless(::renameatx_np(folder, one, folder, other, RENAME_SWAP) == 0);
#else
    const int error = ENOSYS;
#endif
    return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP ? ENOSYS : error;
}

}  // namespace platform::posix

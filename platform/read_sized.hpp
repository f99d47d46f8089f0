// Reading a value whose length is not known beforehand, as the calls for
// extended attributes give it: read(buffer, size) with size 0 asks for the
// length; ERANGE means it grew in between, and it is asked again.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <string>

namespace platform::posix {

template <class Read>
bool read_sized(std::string& value, Read read) {
    for (;;) {
        const ssize_t wanted = read(nullptr, 0);
        if (wanted <= 0) {
            value.clear();
            return wanted == 0;
        }
        value.resize(static_cast<std::size_t>(wanted));
        const ssize_t got = read(value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;
    }
}

}  // namespace platform::posix

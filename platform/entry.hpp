// Program entry for all three tools. On Windows the arguments arrive as
// wide-character strings through wmain; elsewhere as the usual char strings.
// Each program's main.cpp is one line, TOOL_MAIN(entry), so the programs'
// own code never needs to know which platform it is built for.
#pragma once

#include <cstddef>
#include <span>

namespace platform {

#if defined(_WIN32)
using native_char = wchar_t;
#else
using native_char = char;
#endif

// argv as given: position 0 is the program's own name.
using Args = std::span<const native_char* const>;

}  // namespace platform

#if defined(_WIN32)
#define TOOL_MAIN(entry)                                                      \
    int wmain(int argc, wchar_t** argv) {                                     \
        return entry(::platform::Args(argv, static_cast<std::size_t>(argc))); \
    }
#else
#include <csignal>
// A file-size limit makes a write fail (EFBIG) instead of ending the
// program, which then fails as for a full disk.
#define TOOL_MAIN(entry)                                                      \
    int main(int argc, char** argv) {                                         \
        static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));                     \
        return entry(::platform::Args(argv, static_cast<std::size_t>(argc))); \
    }
#endif

// Program entry for all three tools: each describes itself once in a
// Program, and its main.cpp is one line, TOOL_MAIN(program). On Windows the
// arguments arrive as wide-character strings through wmain.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace platform {

#if defined(_WIN32)
using native_char = wchar_t;
#else
using native_char = char;
#endif

// argv as given: position 0 is the program's own name.
using Args = std::span<const native_char* const>;

struct Program {
    std::string_view name;
    std::string_view usage;  // the usage line, printed to standard error when a path is missing
    std::string_view help;   // after the usage line, for "--help"
    std::size_t paths;       // how many paths run needs, in args[1] onwards
    int success;
    int failure;
    int (*run)(Args args);
};

// "--version" or "--help" alone prints the name and version, or the usage
// line and the help, to standard output (failure where that write fails);
// fewer paths than the program needs prints the usage line to standard
// error, the only text a program prints unasked (failure); anything else is
// the program's run.
int enter(const Program& program, int count, native_char** arguments);

}  // namespace platform

#if defined(_WIN32)
#define TOOL_MAIN(program) \
    int wmain(int argc, wchar_t** argv) { return ::platform::enter(program, argc, argv); }
#else
#define TOOL_MAIN(program) \
    int main(int argc, char** argv) { return ::platform::enter(program, argc, argv); }
#endif

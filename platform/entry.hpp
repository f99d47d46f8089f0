// Program entry: each tool describes itself once in a Program, and its
// source file ends with TOOL_MAIN(program); wmain on Windows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>

namespace platform {
#if defined(_WIN32)
using native_char = wchar_t;
#else
using native_char = char;
#endif

using Args = std::span<const native_char* const>;

inline constexpr int exit_success = 0;  // each program names its own failure

// Whether an argument is exactly word, in narrow or wide characters.
template <typename Char>
constexpr bool is_option_word(const Char* argument, std::string_view word) {
    return std::ranges::equal(std::basic_string_view<Char>(argument), word);
}

struct Program {
    std::string_view name;
    std::string_view usage;  // the usage line, printed to standard error when a path is missing
    std::string_view help;   // after the usage line, for "--help"
    std::size_t paths;       // how many paths run needs, in args[1] onwards
    int failure;
    int (*run)(Args args);
};

// "--version" or "--help" alone prints the version, or the usage line and
// the help, to standard output; too few paths, the usage line to standard
// error (the only text printed unasked) and failure; else the program runs.
int enter(const Program& program, int count, native_char** arguments);
}  // namespace platform

#if defined(_WIN32)
#define TOOL_MAIN(program) \
    int wmain(int argc, wchar_t** argv) { return ::platform::enter(program, argc, argv); }
#else
#define TOOL_MAIN(program) \
    int main(int argc, char** argv) { return ::platform::enter(program, argc, argv); }
#endif

// The programs' words: the usage line, and the answers to "--version" and
// "--help" given alone.
#pragma once

#include <string_view>

#include "entry.hpp"

namespace platform {

// One line to standard error; the only text the programs print unasked.
void print_usage(std::string_view line);

// Whether the only argument is exactly "--version" or "--help".
bool asks_for_information(Args args);

// For "--version", the name and the version; for "--help", the usage line
// and the help text: to standard output, false where that write fails.
[[nodiscard]] bool print_information(Args args, std::string_view name, std::string_view usage,
                                     std::string_view help);

}  // namespace platform

// What a program prints: the usage line when a path is missing, and its
// version or a short help when that is all it is asked for. Nothing else is
// ever printed.
#include "information.hpp"

#include <span>

#include "file.hpp"
#include "primitives.hpp"

namespace platform {

void print_usage(std::string_view line) {
    write_error_text(line);
    write_error_text("\n");
}

namespace {

bool is(const native_char* argument, std::string_view word) {
    for (const char c : word) {
        if (*argument++ != static_cast<native_char>(c)) return false;
    }
    return *argument == 0;
}

bool write_output_text(std::string_view text) {
    File standard_output;
    standard_output.descriptor = 1;
    const bool written = write_all(standard_output, std::as_bytes(std::span(text)));
    standard_output.descriptor = -1;  // not closed: the runtime owns it
    return written;
}

}  // namespace

bool asks_for_information(Args args) {
    return args.size() == 2 && (is(args[1], "--version") || is(args[1], "--help"));
}

bool print_information(Args args, std::string_view name, std::string_view usage,
                       std::string_view help) {
    if (is(args[1], "--version")) {
        return write_output_text(name) && write_output_text(" " DIMTOOLS_VERSION "\n");
    }
    return write_output_text(usage) && write_output_text("\n") && write_output_text(help);
}

}  // namespace platform

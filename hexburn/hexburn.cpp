// hexburn: convert an Intel HEX file into a 32 KB ROM image.
//
//   hexburn input.hex output.rom
//
// Loads the data records (type 0) of the input into a zero-filled image of
// the 16-bit address space, stopping at the end-of-file record (type 1), and
// writes addresses 0x4000 through 0xBFFF, always exactly 32,768 bytes, to the
// output. Fields are read by fixed position with upper-case digits only; the
// checksum is not read and other record types are skipped. The input is read
// and closed before the output is written, whole or not at all.
//
// "--version" or "--help" as the only argument prints the version or a short
// help to standard output instead.
//
// Exit status: 0 when the ROM image is written; -1 (255 to a POSIX shell)
// when there are fewer than two paths (the only case that prints anything
// unasked, a usage line), when the input cannot be opened or read, or when the output
// cannot be created or its write or close fails.
#include <cstddef>
#include <span>

#include "entry.hpp"
#include "file.hpp"
#include "hex.hpp"

namespace hexburn {
namespace {

using platform::exit_success;
constexpr int exit_failure = -1;

constexpr std::string_view usage = "usage: hexburn input.hex output.rom";
constexpr std::string_view help =
    "Turns the data records of an Intel HEX file into a 32 KB ROM image of\n"
    "addresses 0x4000-0xBFFF (0x00 where no record wrote).\n"
    "No options. --version and --help, alone, print the version or this text.\n"
    "Exit status: 0 the ROM image was written; -1 (255) a path is missing, or\n"
    "the input could not be read or the output written.\n"
    "Manual: man hexburn (on Windows, hexburn.txt in the dimtools folder).\n";

// The input is read in blocks and cut into pieces as if a line at a time.
constexpr std::size_t read_block_size = std::size_t{64} * 1024;

bool load_file(platform::File& input, MemoryImage& memory) {
    return load_hex_stream<read_block_size>(
        [&input](std::span<char> into, std::size_t& count) {
            return platform::read_next(input, std::as_writable_bytes(into), count);
        },
        memory);
}

int run(platform::Args args) {
    const platform::native_char* const input_path = args[1];
    const platform::native_char* const output_path = args[2];

    MemoryImage memory{};

    platform::File input;
    if (!platform::open_path(input_path, platform::OpenMode::read, input) ||
        !load_file(input, memory) || !input.close()) {
        return exit_failure;
    }

    const auto window = std::span(memory).subspan(rom_first_address, rom_size);
    if (!platform::write_whole_file(output_path, std::as_bytes(window))) {
        return exit_failure;
    }
    return exit_success;
}

const platform::Program program{"hexburn", usage, help, 2, exit_failure, run};

}  // namespace
}  // namespace hexburn

TOOL_MAIN(hexburn::program)

// dimblank: write an empty 720 KB disk image.
//
//   dimblank image
//
// Writes 737,280 bytes of 0x00 (1,440 sectors of 512 bytes) to image,
// creating it or replacing whatever it held. There is no boot sector, no
// allocation table and no directory, and there are no options.
//
// "--version" or "--help" as the only argument prints the version or a short
// help to standard output instead.
//
// Exit status: 0 when the image is written; 1 when no path is given (the only
// case that prints anything unasked, a usage line), or when the image cannot
// be created or its write or close fails.
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>

#include "entry.hpp"
#include "file.hpp"

namespace dimblank {
namespace {

using platform::exit_success;
constexpr int exit_failure = 1;

constexpr std::size_t sector_size = 512;
constexpr std::size_t sector_count = 1440;
constexpr std::size_t image_size = sector_count * sector_size;
static_assert(image_size == 737280);

constexpr std::string_view usage = "usage: dimblank image";
constexpr std::string_view help =
    "Writes an empty 720 KB disk image: 1,440 sectors of 512 bytes, all 0x00.\n"
    "No options. --version and --help, alone, print the version or this text.\n"
    "Exit status: 0 the image was written; 1 no path, or the image could not\n"
    "be written (it is then left as it was, unless written in place).\n"
    "Manual: man dimblank (on Windows, dimblank.txt in the dimtools folder).\n";

struct FreeBuffer {
    void operator()(std::byte* buffer) const { std::free(buffer); }
};

int run(platform::Args args) {
    const platform::native_char* const image_path = args[1];

    // calloc takes a buffer this large as fresh zero pages from the system,
    // so the image is not cleared a second time.
    const std::unique_ptr<std::byte, FreeBuffer> image(
        static_cast<std::byte*>(std::calloc(image_size, 1)));
    if (!image) return exit_failure;

    if (!platform::write_whole_file(image_path, std::span(image.get(), image_size))) {
        return exit_failure;
    }
    return exit_success;
}

const platform::Program program{"dimblank", usage, help, 1, exit_failure, run};

}  // namespace
}  // namespace dimblank

TOOL_MAIN(dimblank::program)

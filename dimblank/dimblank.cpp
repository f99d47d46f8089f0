// dimblank: write an empty 720 KB disk image.
//
//   dimblank image
//
// Writes 737,280 bytes of 0x00 (1,440 sectors of 512 bytes) to image,
// creating it or replacing whatever it held. There is no boot sector, no
// allocation table and no directory, and there are no options.
//
// Exit status: 0 when the image is written; 1 when no path is given (the only
// case that prints anything, a usage line), or when the image cannot be
// created or its write or close fails.
#include "dimblank.hpp"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>

#include "file.hpp"

namespace dimblank {
namespace {

constexpr std::size_t sector_size = 512;
constexpr std::size_t sector_count = 1440;
constexpr std::size_t image_size = sector_count * sector_size;
static_assert(image_size == 737280);

constexpr std::string_view usage = "usage: dimblank image";

struct FreeBuffer {
    void operator()(std::byte* buffer) const { std::free(buffer); }
};

}  // namespace

int run(platform::Args args) {
    if (args.size() < 2) {
        platform::print_usage(usage);
        return exit_failure;
    }
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

}  // namespace dimblank

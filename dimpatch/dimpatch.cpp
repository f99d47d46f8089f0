// dimpatch: copy a run of bytes from a source file into a disk image.
//
//   dimpatch image source [-offset N] [-size N] [-sector N]
//
// Reads size bytes of source from byte offset (default: 0 and the whole
// source) and writes them into image at sector × 512 (default sector 0). The
// image is updated in place: it is never created, truncated or resized, and
// no byte outside the copied range is touched. The copy goes a block at a
// time, so memory stays small whatever its size and the image may be of any
// size, a block device included. A FIFO, or anything else without a length,
// is refused at once rather than waited for.
//
// "--version" or "--help" as the only argument prints the version or a short
// help to standard output instead.
//
// Exit status: 0 when the bytes are written; 1 when there are fewer than two
// paths (the only case that prints anything unasked, a usage line), when either file
// cannot be opened or read or has no length, when the range does not lie
// inside both files or has a negative value, or when a write or close fails.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "entry.hpp"
#include "file.hpp"
#include "patch.hpp"

namespace dimpatch {
namespace {

using platform::exit_success;
constexpr int exit_failure = 1;

constexpr std::string_view usage = "usage: dimpatch image source [-offset N] [-size N] [-sector N]";
constexpr std::string_view help =
    "Copies bytes of source into image, in place, at a sector of 512 bytes.\n"
    "  -offset N   first source byte to copy (default 0)\n"
    "  -size N     number of bytes to copy (default: the whole source)\n"
    "  -sector N   sector of the first destination byte (default 0)\n"
    "--version and --help, alone, print the version or this text.\n"
    "Exit status: 0 the bytes were written; 1 a path is missing, a file could\n"
    "not be read or written, or the range does not fit in both files.\n"
    "Manual: man dimpatch (on Windows, dimpatch.txt in the dimtools folder).\n";

constexpr std::int64_t block_size = std::int64_t{1} << 20;

// On a page boundary the kernel moves a block several times faster (it
// fills the holes of a sparse source with whole-page stores).
constexpr std::align_val_t block_alignment{4096};

struct AlignedDelete {
    void operator()(std::byte* buffer) const { ::operator delete(buffer, block_alignment); }
};

// The source and the image may be one file, under one name or two, with
// overlapping ranges. As memmove does, the blocks go from the end when the
// destination lies after the source, so every byte is read before the copy
// overwrites it, and no test of the files' identity is needed.
bool copy_range(platform::File& source, platform::File& image, const PatchRequest& request) {
    const std::int64_t block = std::min(request.size, block_size);
    const std::unique_ptr<std::byte, AlignedDelete> buffer(static_cast<std::byte*>(
        ::operator new(static_cast<std::size_t>(block), block_alignment, std::nothrow)));
    if (!buffer) return false;
    const std::int64_t destination = destination_of(request);
    const bool from_the_end = destination > request.offset;
    for (std::int64_t done = 0; done < request.size;) {
        const std::int64_t length = std::min(block, request.size - done);
        const std::int64_t at = from_the_end ? request.size - done - length : done;
        const std::span bytes(buffer.get(), static_cast<std::size_t>(length));
        if (!platform::read_exactly_at(source, request.offset + at, bytes) ||
            !platform::write_all_at(image, destination + at, bytes)) {
            return false;
        }
        done += length;
    }
    return true;
}

int run(platform::Args args) {
    const platform::native_char* const image_path = args[1];
    const platform::native_char* const source_path = args[2];

    // Opened once, so that the length tested is that of the file written.
    platform::File image;
    std::int64_t image_length = 0;
    if (!platform::open_path(image_path, platform::OpenMode::update, image) ||
        !platform::file_length(image, image_length)) {
        return exit_failure;
    }

    platform::File source;
    std::int64_t source_length = 0;
    if (!platform::open_path(source_path, platform::OpenMode::read_now, source) ||
        !platform::file_length(source, source_length)) {
        return exit_failure;
    }

    const PatchRequest request = scan_options(args, source_length);
    if (!range_fits(request, source_length, image_length)) {
        return exit_failure;
    }

    if (!copy_range(source, image, request) || !image.close() || !source.close()) {
        return exit_failure;
    }
    return exit_success;
}

const platform::Program program{"dimpatch", usage, help, 2, exit_failure, run};

}  // namespace
}  // namespace dimpatch

TOOL_MAIN(dimpatch::program)

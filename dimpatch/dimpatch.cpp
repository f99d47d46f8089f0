// dimpatch: copy a run of bytes from a source file into a disk image.
//
//   dimpatch image source [-offset N] [-size N] [-sector N]
//
// Reads size bytes of source from byte offset (default: 0 and the whole
// source) and writes them into image at sector × 512 (default sector 0). The
// image is updated in place: it is never created, truncated or resized, and
// no byte outside the copied range is touched. Only the copied range is held
// in memory, so the image may be of any size, a block device included.
//
// Exit status: 0 when the bytes are written; 1 when there are fewer than two
// paths (the only case that prints anything, a usage line), when either file
// cannot be opened or read, when the range does not lie inside both files or
// has a negative value, or when the write, flush or close fails.
#include "dimpatch.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "file.hpp"
#include "patch.hpp"

namespace dimpatch {
namespace {

constexpr std::string_view usage = "usage: dimpatch image source [-offset N] [-size N] [-sector N]";

bool take_length(const platform::native_char* path, std::int64_t& length) {
    platform::File file;
    return platform::open_for_reading(path, file) && platform::file_length(file, length);
}

}  // namespace

int run(platform::Args args) {
    if (args.size() < 3) {
        platform::print_usage(usage);
        return exit_failure;
    }
    const platform::native_char* const image_path = args[1];
    const platform::native_char* const source_path = args[2];

    std::int64_t image_length = 0;
    if (!take_length(image_path, image_length)) return exit_failure;

    platform::File source;
    std::int64_t source_length = 0;
    if (!platform::open_for_reading(source_path, source) ||
        !platform::file_length(source, source_length)) {
        return exit_failure;
    }

    const PatchRequest request = scan_options(args, source_length);
    if (!range_fits(request, source_length, image_length)) {
        return exit_failure;
    }
    if (static_cast<std::uint64_t>(request.size) > SIZE_MAX) {
        return exit_failure;
    }
    const auto size = static_cast<std::size_t>(request.size);

    // The source bytes are read in full and the source closed before the
    // image is opened for writing, so a source that is the image itself
    // (even with overlapping ranges) gives its original bytes.
    const std::unique_ptr<std::byte[]> bytes(new (std::nothrow) std::byte[size]);
    if (!bytes) return exit_failure;
    const std::span<std::byte> copied(bytes.get(), size);
    if (!platform::read_exactly_at(source, request.offset, copied) ||
        !platform::close_file(source)) {
        return exit_failure;
    }

    platform::File image;
    if (!platform::open_for_update(image_path, image) ||
        !platform::write_all_at(image, destination_of(request), copied) ||
        !platform::close_file(image)) {
        return exit_failure;
    }
    return exit_success;
}

}  // namespace dimpatch

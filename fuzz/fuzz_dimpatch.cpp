// libFuzzer target: the dimpatch option scan and range test on arbitrary
// argument vectors and file lengths. Input: 8 bytes of source length, 8 of
// image length (little-endian, the top bit dropped), then the arguments,
// separated by NUL bytes. A range that fits is copied between buffers of
// exactly those lengths, where they are small enough, under AddressSanitizer.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "patch.hpp"

namespace {

std::int64_t length_from(const std::uint8_t* bytes, bool small) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    value &= small ? 0xFFFFu : 0x7FFFFFFFFFFFFFFFu;
    return static_cast<std::int64_t>(value);
}

// The C runtime's conversion, clamped to 32 bits. strtoll knows only the
// ASCII digits and spaces; text with other characters is held against the
// Windows runtime's own conversion by the unit tests instead.
std::int64_t reference_value(const char* text) {
    for (const char* c = text; *c != 0; ++c) {
        if (static_cast<unsigned char>(*c) >= 0x80) return dimpatch::decimal_value(text);
    }
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return value;
}

std::int64_t reference_option(const std::vector<const char*>& args, const char* word,
                              std::int64_t otherwise) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (std::strcmp(args[i], word) == 0) return reference_value(args[i + 1]);
    }
    return otherwise;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 17) return 0;
    // Mostly small files, so that the copy itself can be made.
    const bool small = (data[16] & 1) != 0;
    const std::int64_t source_length = length_from(data, small);
    const std::int64_t image_length = length_from(data + 8, small);

    std::vector<std::string> words(1);
    for (std::size_t i = 17; i < size; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    }
    std::vector<const char*> args;
    for (const auto& word : words) args.push_back(word.c_str());

    const auto request = dimpatch::scan_options(std::span<const char* const>(args), source_length);
    const std::int64_t offset = reference_option(args, "-offset", 0);
    const std::int64_t size_wanted = reference_option(args, "-size", source_length);
    const std::int64_t sector = reference_option(args, "-sector", 0);
    if (request.offset != offset || request.size != size_wanted || request.sector != sector) {
        std::fprintf(stderr, "scan %lld %lld %lld, reference %lld %lld %lld\n",
                     static_cast<long long>(request.offset), static_cast<long long>(request.size),
                     static_cast<long long>(request.sector), static_cast<long long>(offset),
                     static_cast<long long>(size_wanted), static_cast<long long>(sector));
        std::abort();
    }

    // The range in 128-bit arithmetic, where nothing can overflow.
    __extension__ using wide = __int128;
    const bool fits = offset >= 0 && size_wanted >= 0 && sector >= 0 &&
                      wide{offset} + size_wanted <= source_length &&
                      wide{sector} * 512 + size_wanted <= image_length;
    if (dimpatch::range_fits(request, source_length, image_length) != fits) std::abort();

    if (fits && source_length <= 0xFFFF && image_length <= 0xFFFF) {
        std::vector<std::uint8_t> source(static_cast<std::size_t>(source_length), 0xA5);
        std::vector<std::uint8_t> image(static_cast<std::size_t>(image_length), 0);
        if (request.size > 0) {
            std::memcpy(image.data() + dimpatch::destination_of(request),
                        source.data() + request.offset, static_cast<std::size_t>(request.size));
        }
    }
    return 0;
}

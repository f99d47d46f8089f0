// The pure part of dimpatch: decimal conversion of option values, the option
// scan over the whole argument vector, and the range test. Everything here is
// constexpr and works on narrow and wide arguments alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

namespace dimpatch {

inline constexpr std::int64_t sector_size = 512;

inline constexpr std::string_view offset_word = "-offset";
inline constexpr std::string_view size_word = "-size";
inline constexpr std::string_view sector_word = "-sector";

// Leading white space, an optional sign, then decimal digits up to the first
// character that is not one; no digits gives 0. A value beyond the signed
// 32-bit range clamps to its nearest end, as the C runtime's conversion does,
// and never wraps.
template <typename Char>
constexpr std::int32_t decimal_value(const Char* text) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // The magnitude stops growing one past the largest that can be returned,
    // so the sum never overflows however many digits follow.
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > highest + 1) magnitude = highest + 1;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < lowest) return std::numeric_limits<std::int32_t>::min();
    if (value > highest) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

template <typename Char>
constexpr bool is_option_word(const Char* argument, std::string_view word) {
    for (const char letter : word) {
        if (*argument != static_cast<Char>(letter)) return false;
        ++argument;
    }
    return *argument == Char{};
}

// One pass of the scan: positions 0 (the program name) through argc - 2 are
// compared with the word, the paths and values included, and the first match
// takes the argument after it. A word in the last position has no value and
// is not seen.
template <typename Char>
constexpr std::optional<std::int32_t> option_value(std::span<const Char* const> args,
                                                   std::string_view word) {
    for (std::size_t position = 0; position + 1 < args.size(); ++position) {
        if (is_option_word(args[position], word)) {
            return decimal_value(args[position + 1]);
        }
    }
    return std::nullopt;
}

struct PatchRequest {
    std::int64_t offset = 0;  // first source byte copied
    std::int64_t size = 0;    // bytes copied
    std::int64_t sector = 0;  // destination sector of the first byte

    friend constexpr bool operator==(const PatchRequest&, const PatchRequest&) = default;
};

template <typename Char>
constexpr PatchRequest scan_options(std::span<const Char* const> args, std::int64_t source_length) {
    // Not value_or(source_length): that would narrow a source length of
    // 2 GiB or more to the option's 32 bits.
    const std::optional<std::int32_t> size = option_value(args, size_word);
    return PatchRequest{
        .offset = option_value(args, offset_word).value_or(0),
        .size = size ? std::int64_t{*size} : source_length,
        .sector = option_value(args, sector_word).value_or(0),
    };
}

constexpr std::int64_t destination_of(const PatchRequest& request) {
    return request.sector * sector_size;
}

// The copy must lie wholly inside both files; a range ending exactly at a
// file's end fits. Negative values never fit. The comparisons are arranged
// so that no sum can overflow, whatever the lengths.
constexpr bool range_fits(const PatchRequest& request, std::int64_t source_length,
                          std::int64_t image_length) {
    if (request.offset < 0 || request.size < 0 || request.sector < 0) {
        return false;
    }
    if (request.size > source_length - request.offset) return false;
    return request.size <= image_length - destination_of(request);
}

}  // namespace dimpatch

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
#include <type_traits>

#include "entry.hpp"

namespace dimpatch {

using platform::is_option_word;

inline constexpr std::int64_t sector_size = 512;

inline constexpr std::string_view offset_word = "-offset";
inline constexpr std::string_view size_word = "-size";
inline constexpr std::string_view sector_word = "-sector";

// Option values are read as the Windows C runtime's _wtoi reads them, on
// every platform. Its digits are ten consecutive code points from each of
// these zeros: ASCII, Arabic-Indic, extended Arabic-Indic, Devanagari,
// Bengali, Gurmukhi, Gujarati, Oriya, Telugu, Kannada, Malayalam, Thai, Lao,
// Tibetan, Myanmar, Khmer, Mongolian and full-width.
inline constexpr char32_t digit_zeros[] = {0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66,
                                           0x0AE6, 0x0B66, 0x0C66, 0x0CE6, 0x0D66, 0x0E50,
                                           0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};

// The value of a digit, or -1 for any other character.
constexpr int digit_value(char32_t character) {
    for (const char32_t zero : digit_zeros) {
        if (character >= zero && character <= zero + 9) return static_cast<int>(character - zero);
    }
    return -1;
}

// The white space the runtime skips before the number.
constexpr bool is_leading_space(char32_t character) {
    return (character >= 0x09 && character <= 0x0D) || character == 0x20 || character == 0xA0 ||
           character == 0x1680 || (character >= 0x2000 && character <= 0x200A) ||
           character == 0x2028 || character == 0x2029 || character == 0x202F ||
           character == 0x205F || character == 0x3000;
}

// A character and the code units it takes.
struct Decoded {
    char32_t character;
    std::size_t length;
};

// Stands for a byte sequence that is not UTF-8: neither digit nor space.
inline constexpr char32_t not_a_character = 0xFFFFFFFF;

// One character of UTF-8, strictly: no overlong forms, no surrogates,
// nothing past U+10FFFF. The terminating NUL is never read past.
constexpr Decoded decode_utf8(const char* text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t least = 0;
    char32_t character = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, least = 0x80, character = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, least = 0x800, character = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, least = 0x10000, character = lead & 0x07u;
    } else {
        return {not_a_character, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return {not_a_character, 1};
        character = character << 6 | (next & 0x3Fu);
    }
    if (character < least || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) {
        return {not_a_character, 1};
    }
    return {character, length};
}

// Narrow arguments are UTF-8; a wide one is taken a code unit at a time, as
// the runtime takes it (a UTF-16 surrogate is neither digit nor space).
template <typename Char>
constexpr Decoded character_at(const Char* text) {
    if constexpr (std::is_same_v<Char, char>) {
        return decode_utf8(text);
    } else {
        return {static_cast<char32_t>(*text), 1};
    }
}

// Leading white space, an optional sign, then digits up to the first
// character that is not one; no digits gives 0. A value beyond the signed
// 32-bit range clamps to its nearest end and never wraps.
template <typename Char>
constexpr std::int32_t decimal_value(const Char* text) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    Decoded at = character_at(text);
    const auto advance = [&] {
        text += at.length;
        at = character_at(text);
    };
    while (is_leading_space(at.character)) advance();
    const bool negative = at.character == '-';
    if (at.character == '-' || at.character == '+') advance();
    // The magnitude stops growing one past the largest that can be returned,
    // so the sum never overflows however many digits follow.
    std::int64_t magnitude = 0;
    for (int digit = digit_value(at.character); digit >= 0; digit = digit_value(at.character)) {
        magnitude = magnitude * 10 + digit;
        if (magnitude > highest + 1) magnitude = highest + 1;
        advance();
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < lowest) return std::numeric_limits<std::int32_t>::min();
    if (value > highest) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
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

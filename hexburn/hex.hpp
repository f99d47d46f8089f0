// The pure part of hexburn: the three hex decoders and the loading of Intel
// HEX lines into the 64 KB memory image. Nothing is validated: a character
// that is not a digit counts as 0, and fields are taken by fixed position.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

// A block that is filled before any byte of it is read is not cleared first
// where the compiler otherwise starts every local zeroed
// (-ftrivial-auto-var-init).
#if defined(__has_attribute)
#if __has_attribute(uninitialized)
#define HEXBURN_FILLED_BEFORE_USE __attribute__((uninitialized))
#endif
#endif
#ifndef HEXBURN_FILLED_BEFORE_USE
#define HEXBURN_FILLED_BEFORE_USE
#endif

namespace hexburn {

inline constexpr std::size_t memory_size = 0x10000;
inline constexpr std::size_t rom_first_address = 0x4000;
inline constexpr std::size_t rom_size = 0x8000;  // addresses 0x4000..0xBFFF

// A line is read in pieces of at most this many characters, its line end
// included; each piece is decoded as a line of its own.
inline constexpr std::size_t longest_piece = 4095;

inline constexpr std::uint8_t data_record = 0;
inline constexpr std::uint8_t end_of_file_record = 1;

using MemoryImage = std::array<std::uint8_t, memory_size>;

// Only "0"-"9" and upper-case "A"-"F" are digits; every other byte is 0.
constexpr std::uint8_t hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return 0;
}

constexpr std::uint8_t hex_byte(char c1, char c2) {
    return static_cast<std::uint8_t>(hex_digit(c1) * 16 + hex_digit(c2));
}

constexpr std::uint16_t hex_word(char c1, char c2, char c3, char c4) {
    return static_cast<std::uint16_t>(hex_byte(c1, c2) * 256 + hex_byte(c3, c4));
}

namespace detail {

// hex_byte of every pair of characters, indexed by the first character
// times 256 plus the second: one load a byte in the loader's inner loop.
// A row is hex_digit of the second character, plus 16 times the first's
// value where that is not 0: whole rows are copied, so that the table costs
// some 35,000 steps of constant evaluation, well within any compiler's
// budget (100,000 by default in Microsoft's).
using PairRow = std::array<std::uint8_t, 256>;
inline constexpr auto pair_table = [] {
    PairRow low{};
    for (std::size_t second = 0; second != low.size(); ++second) {
        low[second] = hex_digit(static_cast<char>(static_cast<unsigned char>(second)));
    }
    std::array<PairRow, 256> table{};
    for (std::size_t first = 0; first != table.size(); ++first) {
        table[first] = low;
        if (low[first] == 0) continue;
        for (std::uint8_t& byte : table[first]) {
            byte = static_cast<std::uint8_t>(byte + low[first] * 16);
        }
    }
    return std::bit_cast<std::array<std::uint8_t, std::size_t{256} * 256>>(table);
}();

constexpr std::uint8_t table_byte(const char* pair) {
    return pair_table[static_cast<std::size_t>(static_cast<unsigned char>(pair[0])) << 8 |
                      static_cast<unsigned char>(pair[1])];
}

// Positions of a record: count at 1-2, address at 3-6, type at 7-8, data
// byte i at 9 + 2i and 10 + 2i.
inline constexpr std::size_t header_length = 9;
inline constexpr std::size_t longest_record = header_length + std::size_t{2} * 255;

// Decodes a record whose every position that is read lies within line.
constexpr bool apply_record(const char* line, MemoryImage& memory) {
    const std::uint8_t count = table_byte(line + 1);
    const auto address =
        static_cast<std::uint16_t>(table_byte(line + 3) << 8 | table_byte(line + 5));
    const std::uint8_t type = table_byte(line + 7);
    if (type == end_of_file_record) return true;
    if (type != data_record) return false;
    const char* const data = line + header_length;
    if (address + std::size_t{count} <= memory.size()) {
        std::uint8_t* const bytes = memory.data() + address;
        for (std::size_t i = 0; i < count; ++i) bytes[i] = table_byte(data + 2 * i);
    } else {
        // The 16-bit address space wraps: 0xFFFF is followed by 0x0000.
        for (std::size_t i = 0; i < count; ++i) {
            memory[static_cast<std::uint16_t>(address + i)] = table_byte(data + 2 * i);
        }
    }
    return false;
}

}  // namespace detail

// Applies one piece to the memory image; true when it is an end-of-file
// record, after which nothing more is read. A position past the end of the
// piece decodes as 0, whatever lies beyond it in memory.
constexpr bool apply_piece(std::span<const char> piece, MemoryImage& memory) {
    if (piece.size() >= detail::header_length) {
        const std::size_t count = detail::table_byte(piece.data() + 1);
        if (piece.size() >= detail::header_length + 2 * count) {
            return detail::apply_record(piece.data(), memory);
        }
    }
    std::array<char, detail::longest_record> padded{};
    std::copy_n(piece.begin(), std::min(piece.size(), padded.size()), padded.begin());
    return detail::apply_record(padded.data(), memory);
}

// The length of the piece at the start of text: up to and including the
// first line end, at most longest_piece characters. While the input goes on,
// 0 means that more text is needed to tell; at its end, 0 means nothing is
// left. A CR before the line end is kept as an ordinary character: CR, LF and
// a position past the piece all decode as 0, so folding CR LF to LF would
// change no result.
constexpr std::size_t piece_length(std::span<const char> text, bool input_ended) {
    const std::size_t window = std::min(text.size(), longest_piece);
    const char* line_end = nullptr;
    if (std::is_constant_evaluated()) {
        const auto found =
            std::find(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(window), '\n');
        if (found != text.begin() + static_cast<std::ptrdiff_t>(window)) {
            line_end = text.data() + (found - text.begin());
        }
    } else {
        line_end = static_cast<const char*>(std::memchr(text.data(), '\n', window));
    }
    if (line_end != nullptr) {
        return static_cast<std::size_t>(line_end - text.data()) + 1;
    }
    if (text.size() >= longest_piece || input_ended) return window;
    return 0;
}

// Loads a whole HEX text held in memory, as hexburn loads its input.
constexpr void load_hex_text(std::span<const char> text, MemoryImage& memory) {
    while (const std::size_t length = piece_length(text, true)) {
        if (apply_piece(text.first(length), memory)) return;
        text = text.subspan(length);
    }
}

// Loads a HEX text that arrives in blocks, with the same result as
// load_hex_text on the whole text. read(span, count) fills at most the span
// and sets count, 0 at the end; it returns false on a read error, and so
// does load_hex_stream. The block holds the unfinished piece, shorter than
// longest_piece, while more is read behind it.
template <std::size_t block_size, typename Read>
constexpr bool load_hex_stream(Read&& read, MemoryImage& memory) {
    static_assert(block_size > longest_piece);
    HEXBURN_FILLED_BEFORE_USE std::array<char, block_size> block;
    std::size_t start = 0;
    std::size_t end = 0;
    bool input_ended = false;
    for (;;) {
        const std::span<const char> rest(block.data() + start, end - start);
        const std::size_t length = piece_length(rest, input_ended);
        if (length > 0) {
            if (apply_piece(rest.first(length), memory)) return true;
            start += length;
            continue;
        }
        if (input_ended) return true;
        if (start > 0) std::copy(rest.begin(), rest.end(), block.begin());
        start = 0;
        end = rest.size();
        std::size_t count = 0;
        if (!read(std::span<char>(block).subspan(end), count)) return false;
        input_ended = count == 0;
        end += count;
    }
}

}  // namespace hexburn

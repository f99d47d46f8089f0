// libFuzzer target: the HEX loader on arbitrary bytes, read in blocks of
// sizes the input chooses, against a plain reference decoder written for
// clarity, position by position, with no table and no shortcut.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "hex.hpp"

namespace {

// The reference is not instrumented for coverage: the fuzzer is to explore
// the loader, not the reference.
#define NOT_FOR_COVERAGE __attribute__((no_sanitize("coverage")))

NOT_FOR_COVERAGE constexpr int reference_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// The byte whose two digits start at position of the piece; a position past
// the piece's end reads as 0.
NOT_FOR_COVERAGE int reference_byte(std::span<const unsigned char> piece, std::size_t position) {
    const auto digit = [piece](std::size_t p)
                           NOT_FOR_COVERAGE { return p < piece.size() ? piece[p] : 0; };
    return reference_digit(digit(position)) * 16 + reference_digit(digit(position + 1));
}

// Lines as fgets reads them into a 4,096-byte buffer, each piece decoded on
// its own. Writes into memory, which starts zeroed, and notes the address
// and the count of bytes of each data record.
NOT_FOR_COVERAGE void reference_memory(std::span<const unsigned char> text,
                                       hexburn::MemoryImage& memory,
                                       std::vector<std::pair<int, int>>& written) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && end - start < 4095) {
            if (text[end++] == '\n') break;
        }
        const auto piece = text.subspan(start, end - start);
        const int count = reference_byte(piece, 1);
        const int address = reference_byte(piece, 3) * 256 + reference_byte(piece, 5);
        const int type = reference_byte(piece, 7);
        if (type == 1) break;
        if (type == 0) {
            written.emplace_back(address, count);
            for (int i = 0; i < count; ++i) {
                memory[static_cast<std::size_t>((address + i) % 0x10000)] =
                    static_cast<std::uint8_t>(
                        reference_byte(piece, 9 + 2 * static_cast<std::size_t>(i)));
            }
        }
        start = end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the size of the reads, the rest is the file.
    const std::size_t chunk = 1 + data[0] * 37u;
    const std::span<const unsigned char> text(data + 1, size - 1);

    // Both images live as long as the process and are zero at the start of
    // each input. After a run whose images are equal, every byte that is not
    // zero lies where the reference wrote, so clearing just those bytes keeps
    // them so: the work per input follows the input, but for the one whole
    // comparison, which also catches a write the reference did not make.
    static const auto loaded = std::make_unique<hexburn::MemoryImage>();
    static const auto expected = std::make_unique<hexburn::MemoryImage>();
    static std::vector<std::pair<int, int>> written;
    std::size_t position = 0;
    const bool read = hexburn::load_hex_stream<8192>(
        [&](std::span<char> into, std::size_t& count) {
            count = std::min({chunk, into.size(), text.size() - position});
            std::memcpy(into.data(), text.data() + position, count);
            position += count;
            return true;
        },
        *loaded);
    if (!read) std::abort();

    written.clear();
    reference_memory(text, *expected, written);
    if (std::memcmp(loaded->data(), expected->data(), loaded->size()) != 0) std::abort();
    for (const auto& [address, count] : written) {
        for (int i = 0; i < count; ++i) {
            const auto at = static_cast<std::size_t>((address + i) % 0x10000);
            (*loaded)[at] = (*expected)[at] = 0;
        }
    }
    return 0;
}

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

#include "hex.hpp"

namespace {

constexpr int reference_digit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// Lines as fgets reads them into a 4,096-byte buffer, each piece decoded on
// its own, a position past the piece's end reading as 0. Writes into memory,
// which starts zeroed.
void reference_memory(std::span<const unsigned char> text, hexburn::MemoryImage& memory) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && end - start < 4095) {
            if (text[end++] == '\n') break;
        }
        const auto at = [&](std::size_t position) {
            return start + position < end ? text[start + position] : static_cast<unsigned char>(0);
        };
        const auto byte = [&](std::size_t position) {
            return reference_digit(at(position)) * 16 + reference_digit(at(position + 1));
        };
        const int count = byte(1);
        const int address = byte(3) * 256 + byte(5);
        const int type = byte(7);
        if (type == 1) break;
        if (type == 0) {
            for (int i = 0; i < count; ++i) {
                memory[static_cast<std::size_t>((address + i) % 0x10000)] =
                    static_cast<std::uint8_t>(byte(9 + 2 * static_cast<std::size_t>(i)));
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

    // Both images live as long as the process and start each input zeroed.
    static const auto loaded = std::make_unique<hexburn::MemoryImage>();
    static const auto expected = std::make_unique<hexburn::MemoryImage>();
    loaded->fill(0);
    expected->fill(0);
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

    reference_memory(text, *expected);
    if (*loaded != *expected) std::abort();
    return 0;
}

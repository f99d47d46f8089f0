#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "hex.hpp"
#include "support.hpp"

namespace {

using hexburn::hex_byte;
using hexburn::hex_digit;
using hexburn::hex_word;

static_assert(hex_byte('3', 'F') == 63);
static_assert(hex_word('4', '0', '1', '0') == 16400);
static_assert(hex_digit('a') == 0);

TEST(HexDigit, CountsOnlyDigitsAndUpperCaseLetters) {
    const std::map<char, int> digits{
        {'0', 0}, {'1', 1}, {'2', 2},  {'3', 3},  {'4', 4},  {'5', 5},  {'6', 6},  {'7', 7},
        {'8', 8}, {'9', 9}, {'A', 10}, {'B', 11}, {'C', 12}, {'D', 13}, {'E', 14}, {'F', 15}};
    for (int code = 0; code < 256; ++code) {
        const char c = static_cast<char>(code);
        const auto found = digits.find(c);
        const int expected = found == digits.end() ? 0 : found->second;
        EXPECT_EQ(hex_digit(c), expected) << "byte " << code;
    }
}

struct ByteCase {
    char c1, c2;
    int value;
};

TEST(HexByte, FirstCharacterIsTheHighDigit) {
    const ByteCase cases[] = {
        {'3', 'F', 63}, {'F', '3', 0xF3}, {'0', '0', 0},    {'F', 'F', 255},     {'f', 'f', 0},
        {'1', 'f', 16}, {'F', 'a', 240},  {'G', '7', 7},    {':', '0', 0},       {'@', 'A', 10},
        {'\0', '5', 5}, {'\n', '\r', 0},  {'\x80', '9', 9}, {'9', '\xff', 0x90},
    };
    for (const auto& [c1, c2, value] : cases) {
        EXPECT_EQ(hex_byte(c1, c2), value) << int(c1) << ' ' << int(c2);
    }
}

struct WordCase {
    const char* text;
    int value;
};

TEST(HexWord, FirstPairIsTheHighByte) {
    const WordCase cases[] = {
        {"4010", 0x4010}, {"0000", 0},      {"FFFF", 0xFFFF},   {"BFF8", 0xBFF8},
        {"c000", 0x0000}, {"C0a0", 0xC000}, {"12\n\0", 0x1200},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(hex_word(text[0], text[1], text[2], text[3]), value) << text;
    }
}

struct PieceCase {
    std::string text;
    bool input_ended;
    std::size_t length;
};

TEST(PieceLength, TakesALineOrAtMost4095Characters) {
    const std::string long_run(5000, 'A');
    const PieceCase cases[] = {
        {":00000001FF\n:0", false, 12},
        {":00000001FF\r\n", false, 13},
        {"\n\n", false, 1},
        {":0000", false, 0},  // more input may still complete the line
        {":0000", true, 5},
        {"", true, 0},
        {"", false, 0},
        {long_run, false, 4095},
        {long_run.substr(0, 4094) + "\n", false, 4095},
        {long_run.substr(0, 4095) + "\n", false, 4095},
        {long_run.substr(0, 4094), false, 0},
        {long_run.substr(0, 4094), true, 4094},
        {std::string("ab\0cd\n", 6), false, 6},
    };
    for (const auto& [text, input_ended, length] : cases) {
        EXPECT_EQ(hexburn::piece_length(text, input_ended), length)
            << text.size() << " characters, ended " << input_ended;
    }
}

using Writes = std::map<std::size_t, std::uint8_t>;

struct LoadCase {
    const char* name;
    std::string text;
    Writes expected;  // every other byte of the memory image stays 0x00
};

TEST(LoadHexText, FillsTheMemoryImage) {
    const LoadCase cases[] = {
        {"empty", "", {}},
        {"end of file only", ":00000001FF\n", {}},
        {"data", ":0240000012AB00\n", {{0x4000, 0x12}, {0x4001, 0xAB}}},
        {"no line end at all", ":0140000077", {{0x4000, 0x77}}},
        {"later record wins",
         ":0240000011111100\n:01400100EE00\n",
         {{0x4000, 0x11}, {0x4001, 0xEE}}},
        {"after end of file nothing loads",
         ":0140000055\n:00000001FF\n:0140010066\n",
         {{0x4000, 0x55}}},
        {"other types are skipped",
         ":020000021000EC\n:020000040001F9\n:0440000512345678\n:0140000099\n",
         {{0x4000, 0x99}}},
        {"lower case digits count as 0", ":0240000aab1c00\n", {{0x4000, 0x00}, {0x4001, 0x10}}},
        {"start code is not examined", "X0140000042\n", {{0x4000, 0x42}}},
        {"wraps past 0xFFFF",
         ":03FFFF00AABBCC00\n",
         {{0xFFFF, 0xAA}, {0x0000, 0xBB}, {0x0001, 0xCC}}},
        {"outside the window loads too",
         ":013FFF0001\n:01C0000002\n",
         {{0x3FFF, 0x01}, {0xC000, 0x02}}},
        {"NUL is an ordinary character",
         std::string(":0240000012\0F\n", 14),
         {{0x4000, 0x12}, {0x4001, 0x0F}}},
        {"lone CR is an ordinary character", ":024000001\r34\n", {{0x4000, 0x10}, {0x4001, 0x34}}},
        {"positions past a short line are 0",
         ":0240100077FFFF\n" + test::padded_line(600, ":00000000", 'F') + "\n:02401000\n",
         {{0x4010, 0x00}, {0x4011, 0x00}}},
        {"short type field reads as data", ":0140100055\n:014010\n", {{0x4010, 0x00}}},
        {"a long line is cut into pieces",
         test::padded_line(4095, ":01400000AA", 'F') + ":01401000EE\n",
         {{0x4000, 0xAA}, {0x4010, 0xEE}}},
        {"the third piece of a long line",
         test::padded_line(std::size_t{2} * 4095, ":01400000AA", '0') + ":00000001FF" +
             test::padded_line(100, "", '0') + "\n:0140200011\n",
         {{0x4000, 0xAA}}},
        {"a line of exactly 4095 with its line end is one piece",
         test::padded_line(4094, ":01400000AA", 'F') + "\n:01401000EE\n",
         {{0x4000, 0xAA}, {0x4010, 0xEE}}},
    };
    for (const auto& load_case : cases) {
        const auto& [name, text, expected] = load_case;
        const std::string& whole = text;  // lambdas cannot capture a binding
        hexburn::MemoryImage memory{};
        hexburn::load_hex_text(text, memory);
        // Read in blocks, in chunks of every awkward size, the result is
        // the same as from the whole text.
        for (const std::size_t chunk : {1u, 7u, 4095u, 4096u, 100000u}) {
            hexburn::MemoryImage streamed{};
            std::size_t position = 0;
            const bool read = hexburn::load_hex_stream<4096>(
                [&](std::span<char> into, std::size_t& count) {
                    count = std::min({chunk, into.size(), whole.size() - position});
                    std::copy_n(whole.begin() + static_cast<std::ptrdiff_t>(position), count,
                                into.begin());
                    position += count;
                    return true;
                },
                streamed);
            EXPECT_TRUE(read);
            EXPECT_TRUE(streamed == memory) << name << ", chunks of " << chunk;
        }
        for (std::size_t address = 0; address < memory.size(); ++address) {
            const auto found = expected.find(address);
            const int want = found == expected.end() ? 0 : found->second;
            if (memory[address] != want) {
                ADD_FAILURE() << name << ": address " << std::hex << address << " holds "
                              << int(memory[address]) << ", not " << want;
                break;
            }
        }
    }
}

}  // namespace

namespace {

TEST(PairTable, AgreesWithHexByteForEveryPair) {
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const char pair[2] = {static_cast<char>(first), static_cast<char>(second)};
            ASSERT_EQ(hexburn::detail::table_byte(pair), hex_byte(pair[0], pair[1]))
                << first << ", " << second;
        }
    }
}

}  // namespace

namespace {

TEST(LoadHexStream, AReadErrorIsReportedNotTakenForTheEnd) {
    hexburn::MemoryImage memory{};
    int reads = 0;
    const bool read = hexburn::load_hex_stream<4096>(
        [&reads](std::span<char> into, std::size_t& count) {
            // One line, then a failing read.
            if (reads++ > 0) return false;
            const std::string line = ":0140000042FF\n";
            std::copy(line.begin(), line.end(), into.begin());
            count = line.size();
            return true;
        },
        memory);
    EXPECT_FALSE(read);
}

}  // namespace

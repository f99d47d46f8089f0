#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "patch.hpp"

namespace {

using dimpatch::decimal_value;
using dimpatch::PatchRequest;

constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();

static_assert(decimal_value("12abc") == 12);
static_assert(decimal_value(L"  -42") == -42);
static_assert(decimal_value(L"4294967296") == int_max);

struct DecimalCase {
    const char* text;
    std::int32_t value;
};

TEST(DecimalValue, ConvertsLikeTheCRuntimeWithClamping) {
    const DecimalCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"  7", 7},
        {"\t\n\v\f\r9", 9},
        {"+5", 5},
        {"-5", -5},
        {"12abc", 12},
        {"1 2", 1},
        {"0x10", 0},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"+-1", 0},
        {"- 1", 0},
        {"-size", 0},
        {"2147483647", int_max},
        {"2147483648", int_max},
        {"4294967296", int_max},
        {"4294967297", int_max},
        {"99999999999999999999999999", int_max},
        {"-2147483648", int_min},
        {"-2147483649", int_min},
        {"-99999999999999999999999999", int_min},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(decimal_value(text), value) << '"' << text << '"';
        const std::wstring wide(text, text + std::char_traits<char>::length(text));
        EXPECT_EQ(decimal_value(wide.c_str()), value) << '"' << text << "\" (wide)";
    }
}

// Digits and white space beyond ASCII, as the Windows runtime takes them,
// in UTF-8 on the command line.
TEST(DecimalValue, TakesTheRuntimesUnicodeDigitsAndSpaces) {
    const DecimalCase cases[] = {
        {"\uFF11", 1},  // full-width, as an input method types it
        {"\uFF11\uFF12", 12},
        {"\u0663", 3},                // Arabic-Indic
        {"4\u06F2", 42},              // mixed with extended Arabic-Indic
        {"\u096F\u0E59\u1819", 999},  // Devanagari, Thai, Mongolian
        {"\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19", int_max},
        {"\u00A0\u3000\u2007\u205F7", 7},  // spaces before the number
        {"\u3000-\uFF15", -5},
        {"1\u00A02", 1},  // but not inside it
        {"\u0085"
         "7",
         0},  // next line is not one of them
        {"\u2212"
         "1",
         0},  // nor is the minus sign a sign
        {"\uFF0B"
         "1",
         0},
        {"\u00B2", 0},      // superscript two is no digit
        {"\U0001D7CF", 0},  // nor is a digit beyond the 16-bit plane
        {"\xC0\xB1", 0},    // overlong "1"
        {"\xE0\x80\xB1", 0},
        {"\xED\xA0\x80"
         "1",
         0},              // a surrogate
        {"\xEF\xBC", 0},  // cut short
        {"7\xFF"
         "1",
         7},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(decimal_value(text), value) << '"' << text << '"';
    }
}

// Every character of the 16-bit plane reads the same in UTF-8 as in a wide
// string, before a digit and after one.
TEST(DecimalValue, Utf8AndWideArgumentsAgree) {
    const auto encode = [](char32_t c, char* out) {
        if (c < 0x80) {
            out[0] = static_cast<char>(c);
            return 1;
        }
        if (c < 0x800) {
            out[0] = static_cast<char>(0xC0 | c >> 6);
            out[1] = static_cast<char>(0x80 | (c & 0x3F));
            return 2;
        }
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    };
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        char before_digit[8] = {};
        char after_digit[8] = {'1'};
        before_digit[encode(c, before_digit)] = '1';
        encode(c, after_digit + 1);
        const auto unit = static_cast<wchar_t>(c);
        const wchar_t wide_before[] = {unit, L'1', 0};
        const wchar_t wide_after[] = {L'1', unit, 0};
        ASSERT_EQ(decimal_value(before_digit), decimal_value(wide_before))
            << static_cast<std::uint32_t>(c);
        ASSERT_EQ(decimal_value(after_digit), decimal_value(wide_after))
            << static_cast<std::uint32_t>(c);
    }
}

#if defined(_WIN32)
// The Windows runtime itself, for every character of the 16-bit plane: alone,
// before a digit and after one.
TEST(DecimalValue, MatchesTheRuntimesWtoiOnEveryCharacter) {
    int differences = 0;
    for (unsigned c = 1; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const auto unit = static_cast<wchar_t>(c);
        for (const std::wstring& text :
             {std::wstring{unit}, std::wstring{unit, L'1'}, std::wstring{L'1', unit}}) {
            if (decimal_value(text.c_str()) != _wtoi(text.c_str()) && ++differences <= 10) {
                ADD_FAILURE() << "U+" << std::hex << c << ": " << std::dec
                              << decimal_value(text.c_str()) << " against _wtoi's "
                              << _wtoi(text.c_str());
            }
        }
    }
    EXPECT_EQ(differences, 0);
}
#endif

struct ScanCase {
    std::vector<const char*> args;
    PatchRequest expected;
};

constexpr std::int64_t source_length = 1000;

TEST(ScanOptions, FollowsTheThreePassesOverEveryPosition) {
    const ScanCase cases[] = {
        // Defaults: offset 0, the whole source, sector 0.
        {{"dimpatch", "disk.img", "boot.bin"}, {0, source_length, 0}},
        {{"dimpatch", "disk.img", "boot.bin", "-sector", "0", "-size", "512"}, {0, 512, 0}},
        {{"dimpatch", "disk.img", "boot.bin", "-offset", "16"}, {16, source_length, 0}},
        {{"dimpatch", "d", "s", "-size", "512", "-offset", "3", "-sector", "9"}, {3, 512, 9}},
        {{"dimpatch", "d", "s", "-sector", "0x10"}, {0, source_length, 0}},
        {{"dimpatch", "d", "s", "-size", "12abc"}, {0, 12, 0}},
        // The first occurrence wins.
        {{"dimpatch", "d", "s", "-sector", "3", "-sector", "5"}, {0, source_length, 3}},
        // A word in the last position has no value and is not seen.
        {{"dimpatch", "d", "s", "-size", "10", "-sector"}, {0, 10, 0}},
        {{"dimpatch", "d", "s", "-sector"}, {0, source_length, 0}},
        // Values are compared too: -size is both the offset's value and a word.
        {{"dimpatch", "d", "s", "-offset", "-size", "100"}, {0, 100, 0}},
        {{"dimpatch", "d", "s", "-size", "-offset", "-offset", "9"}, {0, 0, 0}},
        // The paths and the program name are positions like any other.
        {{"dimpatch", "-size", "5"}, {0, 5, 0}},
        {{"dimpatch", "d", "-sector", "7"}, {0, source_length, 7}},
        {{"-sector", "7", "s"}, {0, source_length, 7}},
        // Exact, case-sensitive, whole-string comparison.
        {{"dimpatch", "d", "s", "-Size", "1", "-sizes", "2", "--size", "3", "-size ", "4"},
         {0, source_length, 0}},
        // Values are kept as given; the range test rejects the negative ones.
        {{"dimpatch", "d", "s", "-sector", "-1", "-offset", "-7"}, {-7, source_length, -1}},
        {{"dimpatch", "d", "s", "-sector", "4294967296"}, {0, source_length, int_max}},
    };
    for (const auto& [args, expected] : cases) {
        std::string shown;
        for (const char* arg : args) shown += std::string(" ") + arg;
        const PatchRequest found =
            dimpatch::scan_options(std::span<const char* const>(args), source_length);
        EXPECT_EQ(found.offset, expected.offset) << shown;
        EXPECT_EQ(found.size, expected.size) << shown;
        EXPECT_EQ(found.sector, expected.sector) << shown;
    }
}

TEST(ScanOptions, DefaultSizeIsTheWholeSourceOfAnyLength) {
    const std::vector<const char*> args{"dimpatch", "d", "s", "-sector", "1"};
    for (const std::int64_t length :
         {std::int64_t{1} << 31, std::int64_t{1} << 32, (std::int64_t{1} << 40) + 7}) {
        EXPECT_EQ(dimpatch::scan_options(std::span<const char* const>(args), length).size, length);
    }
}

TEST(ScanOptions, WideArgumentsScanAlike) {
    const std::vector<const wchar_t*> args{L"dimpatch", L"d",   L"s",       L"-offset",
                                           L"-size",    L"100", L"-sector", L"2"};
    EXPECT_EQ(dimpatch::scan_options(std::span<const wchar_t* const>(args), 7),
              (PatchRequest{0, 100, 2}));
}

struct RangeCase {
    PatchRequest request;
    std::int64_t source_length;
    std::int64_t image_length;
    bool fits;
};

TEST(RangeFits, RequiresTheCopyInsideBothFiles) {
    constexpr std::int64_t blank = 737280;
    constexpr std::int64_t gib = std::int64_t{1} << 30;
    constexpr std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const RangeCase cases[] = {
        {{0, 512, 0}, 512, blank, true},
        {{0, 513, 0}, 512, blank, false},
        {{16, 512, 0}, 512, blank, false},  // -offset 16 with the default size
        {{16, 496, 0}, 512, blank, true},
        {{0, 0, 0}, 0, 0, true},
        {{512, 0, 0}, 512, blank, true},
        {{513, 0, 0}, 512, blank, false},
        {{0, 0, 1440}, 512, blank, true},  // size 0 right at the image's end
        {{0, 0, 1441}, 512, blank, false},
        {{0, 512, 1439}, 512, blank, true},  // the last sector of a blank image
        {{0, 513, 1439}, 1024, blank, false},
        {{0, 1, 1440}, 512, blank, false},
        {{0, 488, 1}, 1000, 1000, true},  // the copy ends at the last byte
        {{0, 489, 1}, 1000, 1000, false},
        {{-1, 1, 0}, 512, blank, false},
        {{0, -1, 0}, 512, blank, false},
        {{0, 1, -1}, 512, blank, false},
        {{0, 0, int_max}, 512, blank, false},
        {{0, 0, 4194304}, 512, blank, false},
        {{0, 512, 6 * 1024 * 1024 - 1}, 512, 3 * gib, true},  // past 2 GiB
        {{int_max, 1, 0}, 3 * gib, 3 * gib, true},
        {{int_max, huge, 0}, huge, huge, false},  // no overflow in the sums
        {{0, huge, int_max}, huge, huge, false},
    };
    for (const auto& [request, source, image, fits] : cases) {
        EXPECT_EQ(dimpatch::range_fits(request, source, image), fits)
            << "offset " << request.offset << " size " << request.size << " sector "
            << request.sector << " source " << source << " image " << image;
    }
}

}  // namespace

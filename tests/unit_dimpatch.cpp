#include <gtest/gtest.h>

#include <cstdint>
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

// hexburn against srec_cat on valid input: data records inside 0x0000-0xFFFF
// that do not overlap, upper-case digits, correct checksums. srec_cat is
// found at configure time; without it the test is skipped.
#include <random>
#include <string>

#include "support.hpp"

namespace {

using test::run;

class Differential : public test::InFolder {};

std::string record(std::size_t address, const std::vector<std::uint8_t>& data) {
    const char* digits = "0123456789ABCDEF";
    std::vector<std::uint8_t> body{static_cast<std::uint8_t>(data.size()),
                                   static_cast<std::uint8_t>(address >> 8),
                                   static_cast<std::uint8_t>(address & 0xFF), 0};
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto byte : body) sum += byte;
    body.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    std::string line = ":";
    for (const auto byte : body) {
        line += digits[byte >> 4];
        line += digits[byte & 15];
    }
    return line + "\n";
}

TEST_F(Differential, MatchesSrecCatOnValidInput) {
    const std::string srec_cat = SREC_CAT_PROGRAM;
    if (srec_cat.empty()) GTEST_SKIP() << "srec_cat not found; install srecord";
    std::mt19937 generator(20261208);  // NOLINT(cert-msc32-c,cert-msc51-cpp): repeatable on purpose
    for (int file = 0; file < 40; ++file) {
        SCOPED_TRACE("file " + std::to_string(file));
        // Records in random order over the whole address space, with gaps.
        std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> records;
        const std::size_t longest = file % 4 == 0 ? 255 : 32;
        for (std::size_t address = generator() % 64; address < 0x10000;) {
            std::size_t count = 1 + generator() % longest;
            if (address + count > 0x10000) count = 0x10000 - address;
            std::vector<std::uint8_t> data(count);
            for (auto& byte : data) byte = static_cast<std::uint8_t>(generator());
            records.emplace_back(address, data);
            address += count + generator() % (file % 2 ? 4 : 600);
        }
        std::shuffle(records.begin(), records.end(), generator);
        std::string hex;
        for (const auto& [address, data] : records) hex += record(address, data);
        hex += ":00000001FF\n";
        test::write_text(path("in.hex"), hex);

        ASSERT_EQ(
            run(test::tree_path(HEXBURN_PROGRAM), {path("in.hex"), path("hexburn.rom")}).status, 0);
        ASSERT_EQ(run(srec_cat,
                      {path("in.hex"), "-intel", "-crop", "0x4000", "0xC000", "-offset", "-0x4000",
                       "-fill", "0x00", "0x0000", "0x8000", "-o", path("srec_cat.rom"), "-binary"})
                      .status,
                  0);
        ASSERT_EQ(test::read_file(path("hexburn.rom")), test::read_file(path("srec_cat.rom")));
    }
}

}  // namespace

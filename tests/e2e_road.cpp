// The typical road through the tool set on the shipped samples: a blank disk,
// a ROM image from the sample HEX file, the boot sector into sector 0 and
// the ROM image into the sectors after it.
#include "support.hpp"

#include <algorithm>
#include <sstream>
#include <string>

namespace {

using test::Bytes;
using test::run;

const std::filesystem::path samples = SAMPLES_FOLDER;

class Road : public test::InFolder {};

// An independent, deliberately plain reading of the sample's records: every
// line is a well-formed data or end-of-file record with upper-case digits.
Bytes rom_of_sample(const std::filesystem::path& hex_path) {
    Bytes memory(0x10000, 0);
    const Bytes text = test::read_file(hex_path);
    std::istringstream lines(std::string(text.begin(), text.end()));
    std::string line;
    while (std::getline(lines, line)) {
        const auto field = [&](std::size_t at, std::size_t digits) {
            return static_cast<std::size_t>(std::stoul(line.substr(at, digits), nullptr, 16));
        };
        if (field(7, 2) == 1) break;
        for (std::size_t i = 0; i < field(1, 2); ++i) {
            memory[field(3, 4) + i] = static_cast<std::uint8_t>(field(9 + 2 * i, 2));
        }
    }
    return Bytes(memory.begin() + 0x4000, memory.begin() + 0xC000);
}

TEST_F(Road, BlankDiskWithBootSectorAndRom) {
    const std::string disk = path("disk.img");
    const std::string rom = path("prog.rom");
    const std::string boot = samples / "boot.bin";
    ASSERT_EQ(run(DIMBLANK_PROGRAM, {disk}).status, 0);
    ASSERT_EQ(run(HEXBURN_PROGRAM, {samples / "prog.hex", rom}).status, 0);
    ASSERT_EQ(run(DIMPATCH_PROGRAM, {disk, boot, "-sector", "0", "-size", "512"}).status, 0);
    ASSERT_EQ(run(DIMPATCH_PROGRAM, {disk, rom, "-sector", "1"}).status, 0);

    const Bytes boot_sector = test::read_file(boot);
    const Bytes rom_image = rom_of_sample(samples / "prog.hex");
    ASSERT_EQ(boot_sector.size(), 512u);
    EXPECT_EQ(test::read_file(rom), rom_image);
    EXPECT_NE(std::count(rom_image.begin(), rom_image.end(), 0), 32768);

    Bytes expected(737280, 0);
    std::copy(boot_sector.begin(), boot_sector.end(), expected.begin());
    std::copy(rom_image.begin(), rom_image.end(), expected.begin() + 512);
    EXPECT_EQ(test::read_file(disk), expected);
}

}  // namespace

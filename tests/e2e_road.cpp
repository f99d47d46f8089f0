// The typical road through the tool set on the shipped samples: a blank disk,
// a ROM image from the sample HEX file, the boot sector into sector 0 and
// the ROM image into the sectors after it.
#include <algorithm>
#include <sstream>
#include <string>

#include "support.hpp"

namespace {

using test::Bytes;
using test::run;

const std::string samples = test::tree_path(SAMPLES_FOLDER);
const std::string dimblank = test::tree_path(DIMBLANK_PROGRAM);
const std::string hexburn = test::tree_path(HEXBURN_PROGRAM);
const std::string dimpatch = test::tree_path(DIMPATCH_PROGRAM);

class Road : public test::InFolder {};

// An independent, deliberately plain reading of the sample's records: every
// line is a well-formed data or end-of-file record with upper-case digits.
Bytes rom_of_sample(const std::string& hex_path) {
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

struct Names {
    std::string given;  // the folder as the programs are given it
    std::string seen;   // and as the tests name it
    const char* disk;
    const char* hex;
    const char* rom;
    const char* boot;
};

TEST_F(Road, BlankDiskWithBootSectorAndRom) {
    // Plain names, then names with spaces and characters beyond ASCII for
    // every role: image, source, HEX input and ROM output; then paths of
    // more than 300 characters in each form a user gives them.
    std::vector<Names> cases{
        {folder + "/", folder + "/", "disk.img", "prog.hex", "prog.rom", "boot.bin"},
        {folder + "/", folder + "/", "disque ü 画像.img", "programme ü 画像.hex",
         "mémoire 画像.rom", "amorce ü.bin"},
    };
    for (const auto& [prefix, deep] : test::long_paths(folder)) {
        cases.push_back({prefix, deep, "disk.img", "prog.hex", "prog.rom", "boot.bin"});
    }
    const Bytes boot_sector = test::read_file(samples + "/boot.bin");
    const Bytes hex = test::read_file(samples + "/prog.hex");
    const Bytes rom_image = rom_of_sample(samples + "/prog.hex");
    ASSERT_EQ(boot_sector.size(), 512u);
    ASSERT_NE(std::count(rom_image.begin(), rom_image.end(), 0), 32768);
    for (const auto& names : cases) {
        SCOPED_TRACE(names.given + names.disk);
        const std::string disk = names.given + names.disk;
        const std::string rom = names.given + names.rom;
        const std::string boot = names.given + names.boot;
        test::write_file(names.seen + names.hex, hex);
        test::write_file(names.seen + names.boot, boot_sector);

        // Twice: the second run replaces what the first made.
        for (int pass = 0; pass < 2; ++pass) {
            const test::RunOptions here{.working_folder = folder};
            ASSERT_EQ(run(dimblank, {disk}, here).status, 0);
            ASSERT_EQ(run(hexburn, {names.given + names.hex, rom}, here).status, 0);
            ASSERT_EQ(run(dimpatch, {disk, boot, "-sector", "0", "-size", "512"}, here).status, 0);
            ASSERT_EQ(run(dimpatch, {disk, rom, "-sector", "1"}, here).status, 0);
        }

        EXPECT_EQ(test::read_file(names.seen + names.rom), rom_image);
        Bytes expected(737280, 0);
        std::copy(boot_sector.begin(), boot_sector.end(), expected.begin());
        std::copy(rom_image.begin(), rom_image.end(), expected.begin() + 512);
        EXPECT_EQ(test::read_file(names.seen + names.disk), expected);
    }
}

}  // namespace

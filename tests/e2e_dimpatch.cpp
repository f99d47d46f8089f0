#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using test::Bytes;
using test::run;

const std::string dimpatch = test::tree_path(DIMPATCH_PROGRAM);

class Dimpatch : public test::InFolder {};

struct Copy {
    std::size_t offset;
    std::size_t size;
    std::size_t destination;
};

struct PatchCase {
    const char* name;
    std::size_t image_length;
    std::size_t source_length;
    std::vector<std::string> options;  // after the two paths
    std::optional<Copy> copy;          // none: status 1, image untouched
};

TEST_F(Dimpatch, CopiesTheRequestedRangeOrLeavesTheImageAlone) {
    const PatchCase cases[] = {
        {"whole source to sector 0", 2048, 300, {}, Copy{0, 300, 0}},
        {"road example", 737280, 600, {"-sector", "0", "-size", "512"}, Copy{0, 512, 0}},
        {"offset, size and sector",
         4096,
         1000,
         {"-offset", "100", "-size", "200", "-sector", "3"},
         Copy{100, 200, 1536}},
        {"offset without size never fits", 4096, 1000, {"-offset", "16"}, {}},
        {"size 0 changes nothing", 4096, 1000, {"-size", "0", "-offset", "1000"}, Copy{1000, 0, 0}},
        {"size 0 past the source", 4096, 1000, {"-size", "0", "-offset", "1001"}, {}},
        {"size 0 at the image's end", 4096, 10, {"-size", "0", "-sector", "8"}, Copy{0, 0, 4096}},
        {"size 0 past the image's end", 4096, 10, {"-size", "0", "-sector", "9"}, {}},
        {"ends at the image's last byte",
         1000,
         600,
         {"-sector", "1", "-size", "488"},
         Copy{0, 488, 512}},
        {"one byte past the image", 1000, 600, {"-sector", "1", "-size", "489"}, {}},
        {"ends at the source's last byte",
         4096,
         600,
         {"-offset", "100", "-size", "500"},
         Copy{100, 500, 0}},
        {"one byte past the source", 4096, 600, {"-offset", "101", "-size", "500"}, {}},
        {"last sector of a blank image",
         737280,
         512,
         {"-sector", "1439"},
         Copy{0, 512, std::size_t{1439} * 512}},
        {"513 bytes into the last sector", 737280, 513, {"-sector", "1439"}, {}},
        {"hexadecimal reads as 0", 4096, 100, {"-sector", "0x10"}, Copy{0, 100, 0}},
        {"trailing letters ignored",
         4096,
         100,
         {"-size", "12abc", "-sector", "1"},
         Copy{0, 12, 512}},
        {"first sector option wins",
         4096,
         100,
         {"-sector", "2", "-sector", "5"},
         Copy{0, 100, 1024}},
        {"option word last is ignored", 4096, 100, {"-size", "10", "-sector"}, Copy{0, 10, 0}},
        {"word as a value", 4096, 200, {"-offset", "-size", "100"}, Copy{0, 100, 0}},
        {"negative offset", 4096, 100, {"-offset", "-1", "-size", "1"}, {}},
        {"negative size", 4096, 100, {"-size", "-5"}, {}},
        {"negative sector", 4096, 100, {"-sector", "-1", "-size", "1"}, {}},
        {"sector beyond 32-bit products", 737280, 100, {"-sector", "4194304", "-size", "0"}, {}},
        {"sector 2^32 does not wrap to 0", 4096, 100, {"-sector", "4294967296"}, {}},
        {"white space and sign", 4096, 100, {"-sector", " +2", "-size", "\t7"}, Copy{0, 7, 1024}},
        {"full-width digit, as an input method types it",
         4096,
         100,
         {"-sector", "\uFF11"},
         Copy{0, 100, 512}},
        {"unaligned image length", 777, 300, {"-sector", "1", "-size", "265"}, Copy{0, 265, 512}},
        {"empty source, whole", 512, 0, {}, Copy{0, 0, 0}},
    };
    for (const auto& [name, image_length, source_length, options, copy] : cases) {
        SCOPED_TRACE(name);
        const Bytes image = test::pattern(image_length, 1);
        const Bytes source = test::pattern(source_length, 2);
        test::write_file(path("disk.img"), image);
        test::write_file(path("source.bin"), source);
        std::vector<std::string> args{path("disk.img"), path("source.bin")};
        args.insert(args.end(), options.begin(), options.end());

        const auto result = run(dimpatch, args);

        Bytes expected = image;
        if (copy) {
            std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(copy->offset), copy->size,
                        expected.begin() + static_cast<std::ptrdiff_t>(copy->destination));
        }
        EXPECT_EQ(result.status, copy ? 0 : 1);
        EXPECT_EQ(test::read_file(path("disk.img")), expected);
        EXPECT_EQ(test::read_file(path("source.bin")), source);
        EXPECT_EQ(result.standard_output, "");
        EXPECT_EQ(result.standard_error, "");
    }
}

TEST_F(Dimpatch, SameFileAsSourceTakesTheOriginalBytes) {
    struct Overlap {
        std::string source;  // a name of the image
        std::string offset, size, sector;
        std::size_t from, length, to;
    };
    const Overlap cases[] = {
        {"disk.img", "100", "1000", "1", 100, 1000, 512},    // destination after the source
        {"disk.img", "1500", "1000", "1", 1500, 1000, 512},  // destination before it
        {"disk.img", "0", "4096", "0", 0, 4096, 0},          // onto itself
        // Several blocks of the copy, through another name of the same file.
        {"second.img", "50000", "2500000", "2000", 50000, 2500000, 1024000},
        {"./disk.img", "1000000", "2000000", "100", 1000000, 2000000, 51200},
    };
    const Bytes image = test::pattern(3670016, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.offset);
        test::write_file(path("disk.img"), image);
        std::filesystem::remove(test::fs(path("second.img")));
        std::filesystem::create_hard_link(test::fs(path("disk.img")), test::fs(path("second.img")));
        const auto result = run(dimpatch, {path("disk.img"), path(c.source), "-offset", c.offset,
                                           "-size", c.size, "-sector", c.sector});
        Bytes expected = image;
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(c.from), c.length,
                    expected.begin() + static_cast<std::ptrdiff_t>(c.to));
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(test::read_file(path("disk.img")) == expected);
    }
}

TEST_F(Dimpatch, PathThatIsAnOptionWordSetsThatOption) {
    // dimpatch -size 5: the image is the file "-size", the source the file
    // "5", and the -size pass takes "5" as the size.
    const Bytes image = test::pattern(2048, 4);
    const Bytes source = test::pattern(100, 5);
    test::write_file(path("-size"), image);
    test::write_file(path("5"), source);
    const auto result = run(dimpatch, {"-size", "5"}, {.working_folder = folder});
    Bytes expected = image;
    std::copy_n(source.begin(), 5, expected.begin());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(test::read_file(path("-size")), expected);
}

// The faults a user meets. Every row ends with status 1, leaves the source
// as it was and the image at its length, and changes no image byte outside
// the requested range: none at all, except where a write was cut short.
TEST_F(Dimpatch, FaultsLeaveTheFilesAlone) {
    const Bytes image = test::pattern(8192, 6);
    const Bytes source = test::pattern(1024, 7);
    std::filesystem::create_directory(test::fs(path("folder")));
    struct Fault {
        const char* name;
        std::vector<std::string> args;
        std::optional<std::uint64_t> file_size_limit = {};
        bool posix_only = false;
        std::size_t written_from = 0, written_to = 0;  // where a cut write may land
    };
    const Fault cases[] = {
        {"missing image", {path("none.img"), path("source.bin")}},
        {"missing source", {path("disk.img"), path("none.bin")}},
        {"image in a missing folder", {path("no/disk.img"), path("source.bin")}},
        {"source in a missing folder", {path("disk.img"), path("no/source.bin")}},
        {"image is a directory", {path("folder"), path("source.bin")}},
        {"source is a directory", {path("disk.img"), path("folder")}},
        {"source vanished (dangling link)", {path("disk.img"), path("gone.bin")}, {}, true},
        {"image shorter than the range", {path("disk.img"), path("source.bin"), "-sector", "15"}},
        {"source shorter than the range",
         {path("disk.img"), path("source.bin"), "-offset", "1000", "-size", "25"}},
        {"image is a full disk", {"/dev/full", path("source.bin"), "-size", "1"}, {}, true},
        {"image is a FIFO", {path("fifo"), path("source.bin")}, {}, true},
        {"source is a FIFO", {path("disk.img"), path("fifo")}, {}, true},
        {"file-size limit before the destination",
         {path("disk.img"), path("source.bin"), "-sector", "8"},
         4096,
         true},
        {"file-size limit in the middle of the write",
         {path("disk.img"), path("source.bin"), "-sector", "7"},
         4096,
         true,
         3584,
         4096},
    };
    test::make_dangling_link(path("gone.bin"), path("gone"));
    test::make_fifo(path("fifo"));
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.name);
        if (test::skip_row_unless_posix(fault.posix_only, fault.name, {fault.args[0]})) continue;
        test::write_file(path("disk.img"), image);
        test::write_file(path("source.bin"), source);
        const auto result = run(dimpatch, fault.args, {.file_size_limit = fault.file_size_limit});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standard_error, "");
        EXPECT_EQ(test::read_file(path("source.bin")), source);
        Bytes after = test::read_file(path("disk.img"));
        ASSERT_EQ(after.size(), image.size());
        std::copy(image.begin() + static_cast<std::ptrdiff_t>(fault.written_from),
                  image.begin() + static_cast<std::ptrdiff_t>(fault.written_to),
                  after.begin() + static_cast<std::ptrdiff_t>(fault.written_from));
        EXPECT_EQ(after, image);
        EXPECT_FALSE(std::filesystem::exists(test::fs(path("none.img"))));
        EXPECT_FALSE(std::filesystem::exists(test::fs(path("no"))));
    }
}

TEST_F(Dimpatch, UsageVersionAndHelp) {
    test::expect_usage_and_information(
        dimpatch, "usage: dimpatch image source [-offset N] [-size N] [-sector N]", 1, {"disk.img"},
        folder);
}

TEST_F(Dimpatch, CopiesOfAnySizeBeyond4GiB) {
    // Sparse files: a source of more than 1 GiB, copied whole into an image
    // of 6 GiB across its 4 GiB mark. The copy goes in blocks; positions past
    // 2 GiB and 4 GiB must not wrap, and the image keeps its length.
    constexpr std::uintmax_t length = std::uintmax_t{6} << 30;
    constexpr std::size_t source_length = (std::size_t{1} << 30) + (std::size_t{1} << 20) + 3;
    constexpr std::uintmax_t sector = (std::uintmax_t{4} << 30) / 512 - 1;
    const Bytes marks = test::pattern(std::size_t{3} * 4096, 10);
    const std::size_t marked[] = {0, std::size_t{1} << 20, source_length - 4096};
    {
        std::ofstream out(test::fs(path("source.bin")), std::ios::binary);
        for (std::size_t i = 0; i < 3; ++i) {
            out.seekp(static_cast<std::streamoff>(marked[i]));
            out.write(reinterpret_cast<const char*>(marks.data() + i * 4096), 4096);
        }
    }
    {
        std::ofstream out(test::fs(path("big.img")), std::ios::binary);
        out.seekp(static_cast<std::streamoff>(length - 1));
        out.put('\0');
    }
    const auto result =
        run(dimpatch, {path("big.img"), path("source.bin"), "-sector", std::to_string(sector)});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(std::filesystem::file_size(test::fs(path("big.img"))), length);
    std::ifstream in(test::fs(path("big.img")), std::ios::binary);
    const auto bytes_at = [&](std::uintmax_t position, std::size_t count) {
        Bytes bytes(count);
        in.seekg(static_cast<std::streamoff>(position));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        return bytes;
    };
    const std::uintmax_t destination = sector * 512;
    EXPECT_EQ(bytes_at(destination - 512, 512), Bytes(512, 0));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(bytes_at(destination + marked[i], 4096) ==
                    Bytes(marks.begin() + static_cast<std::ptrdiff_t>(i * 4096),
                          marks.begin() + static_cast<std::ptrdiff_t>(i * 4096 + 4096)))
            << "mark " << i;
    }
    EXPECT_EQ(bytes_at(destination + source_length, 512), Bytes(512, 0));
}

}  // namespace

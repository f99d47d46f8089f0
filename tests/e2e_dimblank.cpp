#include <filesystem>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using test::Bytes;
using test::run;

const std::string dimblank = test::tree_path(DIMBLANK_PROGRAM);
const Bytes blank_image(737280, 0);

class Dimblank : public test::InFolder {};

TEST_F(Dimblank, WritesTheBlankImageOverAnythingThere) {
    struct Earlier {
        const char* name;
        std::optional<Bytes> contents;  // none: no file yet
        std::string image = "disk.img";
    };
    const Earlier cases[] = {
        {"new file", std::nullopt},
        {"empty file", Bytes{}},
        {"shorter file", test::pattern(1000, 12)},
        {"longer file", test::pattern(1000000, 13)},
        {"same length", test::pattern(737280, 14)},
        {"/dev/stdout into a pipe", std::nullopt, "/dev/stdout"},
        {"a path that reads --help", std::nullopt, "--help"},
        {"a name of 250 bytes", std::nullopt, std::string(246, 'n') + ".img"},
    };
    for (const auto& [name, contents, image] : cases) {
        SCOPED_TRACE(name);
        if (test::skip_row_unless_posix(image.starts_with("/dev/"), name)) continue;
        std::filesystem::remove(test::fs(path("disk.img")));
        if (contents) test::write_file(path("disk.img"), *contents);
        const bool to_stdout = image == "/dev/stdout";
        const auto result = run(dimblank, {to_stdout ? image : path(image)});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.standard_output, to_stdout ? std::string(737280, '\0') : "");
        EXPECT_EQ(result.standard_error, "");
        EXPECT_TRUE(to_stdout || test::read_file(path(image)) == blank_image);
    }
}

TEST_F(Dimblank, FurtherArgumentsAreIgnored) {
    const auto result = run(dimblank, {path("disk.img"), path("other.img"), "-size", "10"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(test::read_file(path("disk.img")), blank_image);
    EXPECT_FALSE(std::filesystem::exists(test::fs(path("other.img"))));
}

// The faults a user meets: each ends with status 1 and creates nothing
// where it could not write.
TEST_F(Dimblank, FaultsGiveStatusOne) {
    std::filesystem::create_directory(test::fs(path("folder")));
    const Bytes inside = test::pattern(300, 15);
    test::write_file(path("folder/keep.img"), inside);
    struct Fault {
        const char* name;
        std::string image;
        std::optional<std::uint64_t> file_size_limit = {};
        bool posix_only = false;
    };
    const Fault cases[] = {
        {"missing folder", path("no/disk.img")},
        {"directory in place of the file", path("folder")},
        {"link into a vanished folder", path("gone.img"), {}, true},
        {"full disk", "/dev/full", {}, true},
        {"file-size limit in the middle of the write", path("limited.img"), 100000, true},
        {"file-size limit over an earlier image", path("folder/keep.img"), 100000, true},
    };
    test::make_dangling_link(path("gone.img"), path("gone/disk.img"));
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.name);
        if (test::skip_row_unless_posix(fault.posix_only, fault.name, {fault.image})) continue;
        const auto result =
            run(dimblank, {fault.image}, {.file_size_limit = fault.file_size_limit});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.standard_error, "");
        EXPECT_EQ(test::read_file(path("folder/keep.img")), inside);
        EXPECT_EQ(test::folder_names(path("folder")), std::vector<std::string>{"keep.img"});
    }
    EXPECT_FALSE(std::filesystem::exists(test::fs(path("no"))));
    EXPECT_FALSE(std::filesystem::exists(test::fs(path("gone"))));
    EXPECT_TRUE(std::filesystem::is_directory(test::fs(path("folder"))));
}

TEST_F(Dimblank, UsageVersionAndHelp) {
    test::expect_usage_and_information(dimblank, "usage: dimblank image", 1, {}, folder);
}

}  // namespace

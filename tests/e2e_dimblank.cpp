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

#if DIMTOOLS_HAVE_O_PATH || DIMTOOLS_HAVE_O_SEARCH
constexpr bool search_only = true;
#else
constexpr bool search_only = false;
#endif
#if defined(DIMTOOLS_TEST_EMULATOR)
constexpr bool emulated = true;
#else
constexpr bool emulated = false;
#endif

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
        // Of "folder", the image's and its own user nobody's where root runs
        // the tests, and the image written as nobody.
        std::optional<std::filesystem::perms> folder_mode = {};
        std::optional<unsigned> open_files_limit = {};
    };
    const Fault cases[] = {
        {"missing folder", path("no/disk.img")},
        {"directory in place of the file", path("folder")},
        {"link into a vanished folder", path("gone.img"), {}, true},
        {"full disk", "/dev/full", {}, true},
        {"file-size limit in the middle of the write", path("limited.img"), 100000, true},
        {"file-size limit over an earlier image", path("folder/keep.img"), 100000, true},
        {"the same in a folder that may be written but not read", path("folder/keep.img"), 100000,
         true, std::filesystem::perms(0300)},
        {"the same in a drop folder", path("folder/keep.img"), 100000, true,
         std::filesystem::perms(01733)},
        {"the same with no descriptor left for the checks",
         path("folder/keep.img"),
         100000,
         true,
         {},
         4},
    };
    test::make_dangling_link(path("gone.img"), path("gone/disk.img"));
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.name);
        if (test::skip_row_unless_posix(fault.posix_only, fault.name, {fault.image}) ||
            test::skip_row_unless(search_only || !fault.folder_mode, fault.name,
                                  "the build opens no folder for search only") ||
            test::skip_row_unless(!emulated || !fault.open_files_limit, fault.name,
                                  "the emulator holds descriptors of its own")) {
            continue;
        }
        const auto [user, group] = test::nobody();
        if (fault.folder_mode) {
            (void)test::give_to(path("folder/keep.img"), user, group);
            if ((*fault.folder_mode & std::filesystem::perms::sticky_bit) ==
                std::filesystem::perms::none) {
                (void)test::give_to(path("folder"), user, group);
            }
            std::filesystem::permissions(test::fs(path("folder")), *fault.folder_mode);
        }
        const auto result = run(dimblank, {fault.image},
                                {.file_size_limit = fault.file_size_limit,
                                 .open_files_limit = fault.open_files_limit,
                                 .unprivileged = fault.folder_mode.has_value()});
        std::filesystem::permissions(test::fs(path("folder")), std::filesystem::perms(0755));
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

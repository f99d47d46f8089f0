#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support.hpp"

namespace {

using test::Bytes;
using test::run;

const std::string hexburn = test::tree_path(HEXBURN_PROGRAM);
constexpr std::size_t rom_size = 32768;

class Hexburn : public test::InFolder {};

// The ROM with the given bytes at the given ROM offsets, 0x00 elsewhere.
Bytes rom_with(const std::map<std::size_t, std::vector<std::uint8_t>>& runs) {
    Bytes rom(rom_size, 0);
    for (const auto& [offset, bytes] : runs) {
        std::copy(bytes.begin(), bytes.end(), rom.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return rom;
}

struct ConvertCase {
    const char* name;
    std::string hex;
    Bytes rom;
};

TEST_F(Hexburn, WritesTheRomWindow) {
    const ConvertCase cases[] = {
        {"empty input", "", rom_with({})},
        {"end of file record only", ":00000001FF\n", rom_with({})},
        {"data at the window's start", ":0440000001020304F2\n:00000001FF\n",
         rom_with({{0, {1, 2, 3, 4}}})},
        {"data at the window's end", ":02BFFE00A55AE6\n:00000001FF\n",
         rom_with({{0x7FFE, {0xA5, 0x5A}}})},
        {"records after end of file are not loaded", ":0140000011AE\n:00000001FF\n:0140010022CC\n",
         rom_with({{0, {0x11}}})},
        {"no end of file record", ":0140000011AE\n:0140010022CC\n", rom_with({{0, {0x11, 0x22}}})},
        {"record straddling 0x4000", ":103FF80000112233445566778899AABBCCDDEEFF00\n",
         rom_with({{0, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}}})},
        {"record at 0xC000 is outside", ":04C0000001020304FF\n", rom_with({})},
        {"record straddling 0xBFFF", ":04BFFE0001020304FF\n", rom_with({{0x7FFE, {1, 2}}})},
        {"record wrapping past 0xFFFF", ":04FFFE0001020304FF\n", rom_with({})},
        {"extended address records move nothing",
         ":020000021000EC\n:020000040001F9\n:0140000033FF\n", rom_with({{0, {0x33}}})},
        {"lower-case digits count as 0", ":0240000012abFF\n", rom_with({{0, {0x12, 0x00}}})},
        {"the later record wins", ":0240000011110000\n:0140010022FF\n",
         rom_with({{0, {0x11, 0x22}}})},
        {"checksum is not read", ":0140000011FF\n", rom_with({{0, {0x11}}})},
        {"a long line is cut into pieces",
         test::padded_line(4095, ":01400000AA", '0') + ":01401000EE\n",
         rom_with({{0, {0xAA}}, {0x10, {0xEE}}})},
        {"a short line after a long one reads 0 past its end",
         ":0240100077FFFF\n" + test::padded_line(3000, ":00000000", 'F') + "\n:02401000\n",
         rom_with({})},
        {"NUL inside a line", std::string(":0340000012\0F34\n", 16),
         rom_with({{0, {0x12, 0x0F, 0x34}}})},
    };
    for (const auto& [name, hex, rom] : cases) {
        SCOPED_TRACE(name);
        test::write_text(path("prog.hex"), hex);
        const auto result = run(hexburn, {path("prog.hex"), path("prog.rom")});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(test::read_file(path("prog.rom")), rom);
        EXPECT_EQ(result.standard_output, "");
        EXPECT_EQ(result.standard_error, "");
    }
}

TEST_F(Hexburn, CrLfAndLfGiveIdenticalRoms) {
    // Lines of every length around the 4,095-character piece limit, where a
    // CR could move a piece boundary, followed by data that must still load.
    std::vector<std::string> lines{":0440000001020304F2"};
    for (std::size_t length : {4093u, 4094u, 4095u, 4096u, 8189u, 8190u}) {
        lines.push_back(test::padded_line(length, ":01410000AA", '0'));
        lines.push_back(":0142000055FF");
    }
    lines.push_back(":00000001FF");
    std::string lf, crlf;
    for (const auto& line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    test::write_text(path("lf.hex"), lf);
    test::write_text(path("crlf.hex"), crlf);
    EXPECT_EQ(run(hexburn, {path("lf.hex"), path("lf.rom")}).status, 0);
    EXPECT_EQ(run(hexburn, {path("crlf.hex"), path("crlf.rom")}).status, 0);
    const Bytes expected = rom_with({{0, {1, 2, 3, 4}}, {0x100, {0xAA}}, {0x200, {0x55}}});
    EXPECT_EQ(test::read_file(path("lf.rom")), expected);
    EXPECT_EQ(test::read_file(path("crlf.rom")), expected);
}

TEST_F(Hexburn, LargeInputAcrossManyReadBlocks) {
    // Every record of a full ROM, with lines that fall across the boundaries
    // of the blocks in which the input is read.
    std::string hex;
    Bytes expected(rom_size);
    const char* digits = "0123456789ABCDEF";
    for (std::size_t address = 0x4000; address < 0xC000; address += 16) {
        std::string line = ":10";
        for (int shift : {12, 8, 4, 0}) line += digits[(address >> shift) & 15];
        line += "00";
        for (std::size_t i = 0; i < 16; ++i) {
            const auto value = static_cast<std::uint8_t>(address * 7 + i * 13);
            expected[address - 0x4000 + i] = value;
            line += digits[value >> 4];
            line += digits[value & 15];
        }
        hex += line + "FF\n";
    }
    test::write_text(path("full.hex"), hex + ":00000001FF\n");
    EXPECT_EQ(run(hexburn, {path("full.hex"), path("full.rom")}).status, 0);
    EXPECT_EQ(test::read_file(path("full.rom")), expected);
}

TEST_F(Hexburn, SamePathForInputAndOutput) {
    test::write_text(path("both"), ":0140000042FF\n");
    EXPECT_EQ(run(hexburn, {path("both"), path("both")}).status, 0);
    EXPECT_EQ(test::read_file(path("both")), rom_with({{0, {0x42}}}));
}

// The faults a user meets. Every row ends with status -1, leaves the input
// and an earlier ROM image as they were, creates no ROM where the input
// failed, and leaves no temporary file behind.
TEST_F(Hexburn, FaultsGiveMinusOneAndLeaveTheFilesAlone) {
    std::filesystem::create_directory(test::fs(path("folder")));
    const std::string hex = ":0140000042FF\n";
    const Bytes earlier = test::pattern(100, 11);
    struct Fault {
        const char* name;
        std::string input;
        std::string output;
        std::optional<std::uint64_t> file_size_limit = {};
        bool posix_only = false;
        bool read_only_output = false;     // and the folder writable: a rename would get through
        bool held_open = false;            // by another program, past the retries (Windows)
        const char* protection = nullptr;  // the kernel's, for root: /proc/sys/fs/NAME
    };
    const Fault cases[] = {
        {"missing input", path("none.hex"), path("out.rom")},
        {"input in a missing folder", path("no/none.hex"), path("out.rom")},
        {"input is a directory", path("folder"), path("out.rom")},
        {"input vanished (dangling link)", path("gone.hex"), path("out.rom"), {}, true},
        {"read error on the input", "/proc/self/mem", path("out.rom"), {}, true},
        {"missing input, no earlier output", path("none.hex"), path("new.rom")},
        {"output in a missing folder", path("prog.hex"), path("no/prog.rom")},
        {"output is a directory", path("prog.hex"), path("folder")},
        {"output on a full disk", path("prog.hex"), "/dev/full", {}, true},
        {"file-size limit in the middle of the write", path("prog.hex"), path("new.rom"), 20000,
         true},
        {"file-size limit over an earlier ROM", path("prog.hex"), path("out.rom"), 20000, true},
        {"file-size limit, the input as its own output", path("prog.hex"), path("prog.hex"), 20000,
         true},
        {"read-only earlier ROM", path("prog.hex"), path("out.rom"), {}, false, true},
        {"earlier ROM held open elsewhere",
         path("prog.hex"),
         path("out.rom"),
         {},
         false,
         false,
         true},
        {.name = "a link planted by another user in a sticky folder",
         .input = path("prog.hex"),
         .output = path("sticky/victim.rom"),
         .posix_only = true,
         .protection = "protected_symlinks"},
        {.name = "another user's file in a sticky folder",
         .input = path("prog.hex"),
         .output = path("sticky/theirs.rom"),
         .posix_only = true,
         .protection = "protected_regular"},
        {.name = "another user's FIFO in a sticky folder, no reader",
         .input = path("prog.hex"),
         .output = path("sticky/fifo"),
         .posix_only = true,
         .protection = "protected_fifos"},
    };
    test::make_dangling_link(path("gone.hex"), path("gone"));
    // Nobody's link to root's ROM, file and FIFO, which the kernel's
    // protections refuse to root, as they refuse the shell's `>`.
    std::filesystem::create_directory(test::fs(path("sticky")));
    std::filesystem::permissions(test::fs(path("sticky")), std::filesystem::perms(01777));
    test::make_dangling_link(path("sticky/victim.rom"), path("out.rom"));
    test::write_file(path("sticky/theirs.rom"), earlier);
    test::make_fifo(path("sticky/fifo"));
    const auto [nobody_user, nobody_group] = test::nobody();
    for (const char* name : {"victim.rom", "theirs.rom", "fifo"}) {
        (void)test::give_to(path("sticky/") + name, nobody_user, nobody_group);
    }
    const auto names_before = [&] {
        test::write_text(path("prog.hex"), hex);
        test::write_file(path("out.rom"), earlier);
        return test::folder_names(folder);
    }();
    for (const auto& fault : cases) {
        SCOPED_TRACE(fault.name);
        if (test::skip_row_unless_posix(fault.posix_only, fault.name,
                                        {fault.input, fault.output})) {
            continue;
        }
        if (fault.held_open && test::on_posix) continue;
        if (fault.protection &&
            test::skip_row_unless(test::root_protected_by(fault.protection), fault.name,
                                  "needs root and the kernel's protection switched on")) {
            continue;
        }
        test::write_text(path("prog.hex"), hex);
        test::write_file(path("out.rom"), earlier);
        std::filesystem::remove(test::fs(path("new.rom")));
        if (fault.read_only_output) {
            std::filesystem::permissions(test::fs(folder), std::filesystem::perms::all);
            std::filesystem::permissions(test::fs(path("out.rom")),
                                         std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                                         std::filesystem::perm_options::remove);
        }
        std::optional<test::HeldOpen> holder;
        if (fault.held_open) holder.emplace(path("out.rom"));
        const auto result =
            run(hexburn, {fault.input, fault.output},
                {.file_size_limit = fault.file_size_limit, .unprivileged = fault.read_only_output});
        holder.reset();
        std::filesystem::permissions(test::fs(path("out.rom")), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.full_status, test::on_posix ? 255u : 0xFFFFFFFFu);
        EXPECT_EQ(result.standard_error, "");
        EXPECT_EQ(test::read_file(path("prog.hex")), Bytes(hex.begin(), hex.end()));
        EXPECT_EQ(test::read_file(path("out.rom")), earlier);
        EXPECT_EQ(test::read_file(path("sticky/theirs.rom")), earlier);
        EXPECT_EQ(test::folder_names(folder), names_before);
    }
}

// A good run replaces the output as a truncating open would have left it:
// its mode, owner, links and kind of file are kept.
TEST_F(Hexburn, ReplacesTheOutputKeepingWhatItIs) {
    namespace fs = std::filesystem;
    const Bytes rom = rom_with({{0, {0x42}}});
    const Bytes earlier = test::pattern(100, 16);
    const auto mode = [&](const std::string& name) {
        return fs::status(test::fs(path(name))).permissions();
    };
    std::thread reader;
    std::future<Bytes> reading;
    test::RunResult result;
    // user::rw- user:nobody:rw- group::--- mask::rw- other::---, as stored.
    const std::string acl(
        "\2\0\0\0\1\0\6\0\377\377\377\377\2\0\6\0\376\377\0\0\4\0\0\0\377\377\377\377"
        "\20\0\6\0\377\377\377\377\40\0\0\0\377\377\377\377",
        44);
    struct Kept {
        const char* name;
        std::string output;
        std::function<bool()> prepare;  // false: the row cannot run here
        std::function<void()> check;
        bool posix_only = false;
    };
    const Kept cases[] = {
        {"an output of mode 0640 keeps it, by a relative name", "out.rom",
         [&] {
             test::write_file(path("out.rom"), earlier);
             fs::permissions(test::fs(path("out.rom")), fs::perms(0640));
             return true;
         },
         [&] { EXPECT_EQ(mode("out.rom"), fs::perms(0640)); }, true},
        {"a new output gets the mode of a created file", path("new.rom"),
         [&] {
             test::write_file(path("created"), {});
             return true;
         },
         [&] { EXPECT_EQ(mode("new.rom"), mode("created")); }, true},
        {"another user's output keeps its owner", path("out.rom"),
         [&] {
             test::write_file(path("out.rom"), earlier);
             return test::give_to(path("out.rom"), test::nobody().first,
                                  test::nobody().second);  // as root only
         },
         [&] { EXPECT_EQ(test::owner_of(path("out.rom")), test::nobody()); }, true},
        {"a symbolic link stays a link", path("link.rom"),
         [&] {
             test::write_file(path("real.rom"), earlier);
             fs::create_symlink("real.rom", test::fs(path("link.rom")));
             return true;
         },
         [&] {
             EXPECT_TRUE(fs::is_symlink(test::fs(path("link.rom"))));
             EXPECT_EQ(test::read_file(path("real.rom")), rom);
         },
         true},
        {"an access control list and a user attribute are kept", path("out.rom"),
         [&] {
             test::write_file(path("out.rom"), earlier);
             fs::permissions(test::fs(path("out.rom")), fs::perms(0600));
             return test::set_attribute(path("out.rom"), "system.posix_acl_access", acl) &&
                    test::set_attribute(path("out.rom"), "user.dimtools", "kept");
         },
         [&] {
             EXPECT_EQ(test::attribute(path("out.rom"), "system.posix_acl_access"), acl);
             EXPECT_EQ(test::attribute(path("out.rom"), "user.dimtools"), "kept");
         },
         true},
        {"a new output takes its folder's default access control list, as a created file",
         path("listed/new.rom"),
         [&] {
             fs::create_directory(test::fs(path("listed")));
             if (!test::set_attribute(path("listed"), "system.posix_acl_default", acl))
                 return false;
             test::write_file(path("listed/created"), {});
             return true;
         },
         [&] { EXPECT_EQ(mode("listed/new.rom"), mode("listed/created")); }, true},
        {"a flag set with chattr is kept", path("out.rom"),
         [&] {
             test::write_file(path("out.rom"), earlier);
             return test::inode_flag(path("out.rom"), test::InodeFlag::no_dump, true) == true;
         },
         [&] { EXPECT_EQ(test::inode_flag(path("out.rom"), test::InodeFlag::no_dump), true); },
         true},
        {"/dev/stdout into a pipe", "/dev/stdout", [] { return true; },
         [&] {
             EXPECT_EQ(Bytes(result.standard_output.begin(), result.standard_output.end()), rom);
         },
         true},
        {"two hard links share the new contents", path("one.rom"),
         [&] {
             test::write_file(path("one.rom"), earlier);
             fs::create_hard_link(test::fs(path("one.rom")), test::fs(path("two.rom")));
             return true;
         },
         [&] { EXPECT_EQ(test::read_file(path("two.rom")), rom); }},
        {"the null device", test::on_posix ? "/dev/null" : "NUL", [] { return true; }, [] {}},
        {"an output held open elsewhere for a moment (Windows), by a relative name", "out.rom",
         [&] {
             if constexpr (test::on_posix) return false;
             test::write_file(path("out.rom"), earlier);
             auto holder = std::make_shared<test::HeldOpen>(path("out.rom"));
             reader = std::thread([holder]() mutable {
                 std::this_thread::sleep_for(std::chrono::milliseconds(300));
                 holder.reset();
             });
             return true;
         },
         [&] { reader.join(); }},
        {"a FIFO with a reader", path("fifo"),
         [&] {
             test::make_fifo(path("fifo"));
             reading =
                 std::async(std::launch::async, [&] { return test::read_file(path("fifo")); });
             return true;
         },
         [&] { EXPECT_EQ(test::finish_reading_fifo(path("fifo"), reading), rom); }, true},
    };
    for (const auto& kept : cases) {
        SCOPED_TRACE(kept.name);
        fs::remove_all(test::fs(folder));
        fs::create_directory(test::fs(folder));
        test::write_text(path("prog.hex"), ":0140000042FF\n");
        if (test::skip_row_unless_posix(kept.posix_only, kept.name)) continue;
        if (test::skip_row_unless(kept.prepare(), kept.name, "cannot be set up here")) continue;
        auto names = test::folder_names(folder);
        result = run(hexburn, {path("prog.hex"), kept.output}, {.working_folder = folder});
        const std::string written =
            test::fs(kept.output).is_absolute() ? kept.output : path(kept.output);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.standard_error, "");
        std::error_code no_file;  // NUL has none
        if (fs::is_regular_file(test::fs(written), no_file)) {
            EXPECT_EQ(test::read_file(written), rom);
        }
        kept.check();
        if (kept.output == path("new.rom")) names = {"created", "new.rom", "prog.hex"};
        EXPECT_EQ(test::folder_names(folder), names);  // no temporary file left
    }
}

TEST_F(Hexburn, UsageVersionAndHelp) {
    test::expect_usage_and_information(hexburn, "usage: hexburn input.hex output.rom", 255,
                                       {"prog.hex"}, folder);
}

TEST_F(Hexburn, FurtherArgumentsAreIgnored) {
    test::write_text(path("prog.hex"), ":0140000042FF\n");
    EXPECT_EQ(run(hexburn, {path("prog.hex"), path("prog.rom"), "-x", "extra"}).status, 0);
    EXPECT_EQ(test::read_file(path("prog.rom")), rom_with({{0, {0x42}}}));
}

}  // namespace

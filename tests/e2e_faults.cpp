// Every system call a program makes from its entry on, failed in turn under
// strace, one occurrence at a time. Whatever fails, the inputs stay as they
// were, no file is left behind, no run ends by a signal or hangs, status 0
// means the output is exactly right, and any other status leaves the output
// as the failure may: as it was or exactly the new one where it is
// replaced, as it was or a first part of the new one where it is written in
// place, old or new byte by byte in the copied range of an image.
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "support.hpp"

namespace {

using test::Bytes;

const std::string strace = STRACE_PROGRAM;  // empty where the programs cannot be traced

// Where the programs were built to exchange names and tell mounts apart.
#if DIMTOOLS_HAVE_RENAME_EXCHANGE
constexpr bool exchanges_names = true;
#else
constexpr bool exchanges_names = false;
#endif
#if DIMTOOLS_HAVE_STATX_MOUNT_ID
constexpr bool knows_mount_ids = true;
#else
constexpr bool knows_mount_ids = false;
#endif

enum class Written { replaced, in_place, patched };

struct Scenario {
    const char* name;
    std::string program;
    std::vector<std::string> args;
    std::string output;                  // the file written, in the folder "work"
    std::map<std::string, Bytes> files;  // made before each run, the output among them
    Written written = Written::replaced;
    bool linked = false;  // the output has a second name, "link"
    bool closed = false;  // standard input, output and error closed
};

// One call of the program as strace shows it.
struct Call {
    std::string name;
    int occurrence = 0;            // among the calls of that name, from 1
    bool storing = false;          // a close of a file that data was stored through
    bool preparing = false;        // makes the temporary file or gives it what the output has
    bool temporary = false;        // an attempt to make the temporary file
    bool after_temporary = false;  // the first attempt or any call after it
};

bool one_of(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// The file a name leads to, by its number on its file system.
std::optional<std::uint64_t> file_number(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_ino);
}

int first_number(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

// A shell's commands in folder: the system's own tools make and mount file
// systems.
int shell_in(const std::string& folder, const std::string& commands) {
    const std::string line = "cd '" + folder + "' && " + commands;
    return std::system(line.c_str());  // NOLINT(cert-env33-c): mkfs and mount, on purpose
}

// The calls from the program's entry on (the first thing it does is to
// ignore SIGXFSZ): those of the C library's start are not its own.
std::vector<Call> calls_of(const std::string& trace_path) {
    std::ifstream trace(test::fs(trace_path));
    std::map<std::string, int> seen;
    std::map<int, bool> stored;  // by descriptor
    std::vector<Call> calls;
    bool started = false;
    int temporary = -1;
    for (std::string line; std::getline(trace, line);) {
        const std::size_t open = line.find('(');
        if (open == std::string::npos || line.starts_with("+++")) continue;
        Call call{line.substr(0, open), ++seen[line.substr(0, open)]};
        const std::string args = line.substr(open + 1);
        const std::size_t equals = line.rfind(") = ");
        const int result = equals == std::string::npos ? -1 : first_number(line.substr(equals + 4));
        started = started || line.starts_with("rt_sigaction(SIGXFSZ");
        if (call.name == "openat") {
            stored[result] = false;
            if (args.find("O_TMPFILE") != std::string::npos ||
                args.find(".dimtools-") != std::string::npos) {
                temporary = result;
                call.temporary = true;
            }
        }
        if (one_of(call.name, {"write", "ftruncate"})) stored[first_number(args)] = true;
        call.storing = call.name == "close" && stored[first_number(args)];
        call.preparing =
            temporary >= 0 && !(call.name == "write" && first_number(args) == temporary);
        if (call.name == "write" && first_number(args) == temporary) temporary = -2;
        call.after_temporary = temporary != -1;
        if (started && !one_of(call.name, {"execve", "exit_group"})) calls.push_back(call);
    }
    return calls;
}

// Each way to fail a call: an error, or for dimpatch's reads an early end of
// the file and for writes a write that stores nothing; and from the first
// attempt to make the temporary file on, a signal that ends the run.
std::vector<std::pair<std::string, std::string>> faults_of(const Call& call, bool reads_too) {
    const std::string at = std::to_string(call.occurrence);
    std::vector<std::pair<std::string, std::string>> faults{{"error=EIO", at}, {"error=EINTR", at}};
    if (one_of(call.name, {"openat", "write", "ftruncate", "fsetxattr", "linkat", "renameat",
                           "renameat2", "close", "fchown"})) {
        faults.insert(faults.end(), {{"error=ENOSPC", at}, {"error=EDQUOT", at}});
    }
    if (one_of(call.name, {"openat", "linkat", "renameat", "renameat2"})) {
        faults.emplace_back("error=EACCES", at);
    }
    if (call.name == "read" && reads_too) {
        faults.insert(faults.end(), {{"retval=0", at}, {"retval=0", at + "+"}});
    }
    if (call.name == "write") faults.emplace_back("retval=0", at + "+");
    if (call.after_temporary) faults.emplace_back("signal=SIGTERM", at);
    return faults;
}

class Faults : public test::InFolder {
  protected:
    std::string work() const { return path("work"); }

    // The files of the scenario, made afresh; the names then in the folder.
    std::vector<std::string> prepare(const Scenario& scenario) {
        std::filesystem::remove_all(test::fs(work()));
        std::filesystem::create_directory(test::fs(work()));
        for (const auto& [name, bytes] : scenario.files)
            test::write_file(work() + "/" + name, bytes);
        if (scenario.linked) {
            std::filesystem::create_hard_link(test::fs(work() + "/" + scenario.output),
                                              test::fs(work() + "/link"));
        }
        if (scenario.files.contains(scenario.output) && scenario.written == Written::replaced) {
            (void)test::set_attribute(work() + "/" + scenario.output, "user.one", "1");
            (void)test::set_attribute(work() + "/" + scenario.output, "user.two", "2");
        }
        return test::folder_names(work());
    }

    test::RunResult traced(const Scenario& scenario, const std::vector<std::string>& options) {
        std::vector<std::string> args{"-qq"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("--");
        args.push_back(scenario.program);
        args.insert(args.end(), scenario.args.begin(), scenario.args.end());
        return test::run(
            strace, args,
            {.working_folder = work(), .closed_standard_files = scenario.closed, .time_limit = 10});
    }
};

// The rows that trace the programs.
class Traced : public Faults {
  protected:
    void SetUp() override {
        if (strace.empty()) GTEST_SKIP() << "needs strace, on Linux, outside the sanitizers";
        Faults::SetUp();
    }
};

const std::string hexburn = test::tree_path(HEXBURN_PROGRAM);
const std::string dimblank = test::tree_path(DIMBLANK_PROGRAM);
const std::string dimpatch = test::tree_path(DIMPATCH_PROGRAM);

Bytes hex_text(const std::string& text) { return Bytes(text.begin(), text.end()); }
const Bytes hex =
    hex_text(":10400000C31040534D504C4520524F4D00000021BE\n:04BFFC0001020304ED\n:00000001FF\n");

const Scenario replacing{"hexburn, replacing an output",
                         hexburn,
                         {"in.hex", "out.rom"},
                         "out.rom",
                         {{"in.hex", hex}, {"out.rom", test::pattern(5000, 3)}}};

TEST_F(Traced, EveryCallFailedInTurn) {
    const std::vector<std::string> patch{"img",   "src",     "-offset", "1000",
                                         "-size", "2500000", "-sector", "10"};
    const std::map<std::string, Bytes> patch_files{{"img", test::pattern(3u << 20, 1)},
                                                   {"src", test::pattern(2600000, 2)}};
    const auto pattern = test::pattern;
    // clang-format off
    const Scenario scenarios[] = {
        {"hexburn, a new output", hexburn, {"in.hex", "out.rom"}, "out.rom", {{"in.hex", hex}}},
        replacing,
        {"dimblank, replacing an image", dimblank, {"img"}, "img", {{"img", pattern(100000, 4)}}},
        {"hexburn, in place over two links", hexburn, {"in.hex", "out.rom"}, "out.rom",
         {{"in.hex", hex}, {"out.rom", pattern(40000, 5)}}, Written::in_place, true},
        {"dimblank, in place over two links", dimblank, {"img"}, "img",
         {{"img", pattern(800000, 6)}}, Written::in_place, true},
        {"dimpatch, three blocks", dimpatch, patch, "img", patch_files, Written::patched},
        {"hexburn, standard files closed", hexburn, {"in.hex", "out.rom"}, "out.rom",
         {{"in.hex", hex}, {"out.rom", pattern(5000, 7)}}, Written::replaced, false, true},
        {"dimblank, standard files closed", dimblank, {"img"}, "img", {{"img", {}}},
         Written::replaced, false, true},
        {"dimpatch, standard files closed", dimpatch, {"img", "src", "-sector", "1"}, "img",
         {{"img", pattern(4096, 8)}, {"src", pattern(700, 9)}}, Written::patched, false, true},
    };
    // clang-format on
    int failures = 0;
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const auto names = prepare(scenario);
        const auto& files = scenario.files;
        const Bytes before = files.contains(scenario.output) ? files.at(scenario.output) : Bytes{};
        ASSERT_EQ(traced(scenario, {"-o", path("trace")}).status, 0);
        const Bytes after = test::read_file(work() + "/" + scenario.output);
        for (const Call& call : calls_of(path("trace"))) {
            for (const auto& [fault, when] : faults_of(call, scenario.program == dimpatch)) {
                std::string inject = call.name;
                inject.append(":").append(fault).append(":when=").append(when);
                SCOPED_TRACE(inject);
                prepare(scenario);
                const std::string output = work() + "/" + scenario.output;
                const auto file_before = file_number(output);
                const auto result = traced(scenario, {"-o", "/dev/null", "-e", "trace=" + call.name,
                                                      "-e", "inject=" + inject});
                const bool exists = std::filesystem::exists(test::fs(output));
                const Bytes now = exists ? test::read_file(output) : Bytes{};
                // Ended by the signal it was sent, or by nothing; never hung.
                bool good = fault == "signal=SIGTERM" ? result.status == 1000 + SIGTERM
                                                      : result.status < 256;
                for (const auto& [name, bytes] : files) {
                    good = good && (name == scenario.output ||
                                    test::read_file(work() + "/" + name) == bytes);
                }
                auto expected_names = names;
                if (exists && !files.contains(scenario.output)) {
                    expected_names.push_back(scenario.output);
                    std::sort(expected_names.begin(), expected_names.end());
                }
                good = good && test::folder_names(work()) == expected_names;
                if (scenario.linked) good = good && test::read_file(work() + "/link") == now;
                // Calls that cannot fail but where strace makes them.
                const bool storage = one_of(fault, {"error=EIO", "error=ENOSPC", "error=EDQUOT"}) &&
                                     !one_of(call.name, {"rt_sigprocmask", "rt_sigaction", "getpid",
                                                         "clock_gettime", "geteuid"});
                // A failure of the system, in a check as much as anywhere, is never
                // followed by writing an output in place that is to be replaced.
                if (storage && scenario.written == Written::replaced && file_before) {
                    good = good && (result.status == 0 ? file_number(output) != file_before
                                                       : now == before);
                }
                if (result.status == 0) {
                    good = good && now == after;
                } else if (scenario.written == Written::replaced) {
                    good = good && (now == before || now == after);
                } else if (scenario.written == Written::in_place) {
                    good = good &&
                           (now == before || (now.size() <= after.size() &&
                                              std::equal(now.begin(), now.end(), after.begin())));
                } else {
                    good = good && now.size() == before.size();
                    for (std::size_t at = 0; good && at < now.size(); ++at) {
                        good = now[at] == before[at] || now[at] == after[at];
                    }
                }
                const bool reported =
                    one_of(call.name, {"write", "ftruncate", "linkat", "renameat", "renameat2"}) ||
                    call.storing;
                if (storage && (reported || (call.preparing && files.contains(scenario.output)))) {
                    good = good && result.status != 0;
                }
                EXPECT_TRUE(good) << "status " << result.status << ", output of " << now.size()
                                  << " bytes";
                if (!good && ++failures == 5) return;
            }
        }
    }
}

// Every attempt to make the temporary file fails, and then a write: the
// earlier output stays. The attempts are found by what they open, one run
// at a time, since each failed attempt leads to the next.
TEST_F(Traced, NoTemporaryFileThenAFailedWrite) {
    const auto names = prepare(replacing);
    std::string attempts;
    for (std::set<int> failed;;) {
        std::vector<std::string> options{"-o", path("trace"), "-e", "trace=openat,rt_sigaction"};
        if (!attempts.empty()) {
            options.insert(options.end(), {"-e", "inject=openat:error=EIO:when=" + attempts});
        }
        const auto result = traced(replacing, options);
        ASSERT_LT(result.status, 256);
        const auto calls = calls_of(path("trace"));
        const auto next = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
            return call.temporary && !failed.contains(call.occurrence);
        });
        if (next == calls.end()) break;
        failed.insert(next->occurrence);
        attempts = std::to_string(*failed.begin()) + ".." + std::to_string(*failed.rbegin());
        prepare(replacing);
    }
    ASSERT_FALSE(attempts.empty());
    prepare(replacing);
    const auto result = traced(replacing, {"-o", "/dev/null", "-e", "trace=openat,write", "-e",
                                           "inject=openat:error=EIO:when=" + attempts, "-e",
                                           "inject=write:error=EIO:when=1"});
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(test::read_file(work() + "/out.rom"), replacing.files.at("out.rom"));
    EXPECT_EQ(test::folder_names(work()), names);
}

// Another file moved onto the output while the rename waits is never
// replaced: the new contents go into the file that was opened.
TEST_F(Traced, AFileMovedOntoTheOutputIsLeftAlone) {
    if constexpr (!exchanges_names) GTEST_SKIP() << "the build exchanges no names";
    const auto names = prepare(replacing);
    const Bytes other = test::pattern(3000, 10);
    test::write_file(path("other"), other);
    auto running = std::async(std::launch::async, [&] {
        return traced(replacing, {"-o", "/dev/null", "-e", "trace=/^renameat", "-e",
                                  "inject=/^renameat:delay_enter=1500000"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    std::filesystem::rename(test::fs(path("other")), test::fs(work() + "/out.rom"));
    EXPECT_EQ(running.get().status, 0);
    EXPECT_EQ(test::read_file(work() + "/out.rom"), other);
    EXPECT_EQ(test::folder_names(work()), names);
}

// On small file systems of their own, dimblank over a 100 KB image with
// two attributes: a full ext4 whose attributes live outside the inode (their
// copy is the first thing to fail), one with no free inode either, and an
// overlay whose layers lie on two file systems (its files show their
// layer's device), under a file-size limit: each fails and keeps the output.
// On ntfs-3g, an image hidden and archived (0x22) is replaced, and keeps
// those attributes. A row runs where this process can mount (a tmpfs in
// its own folder) and has the tools it names; else it shows as skipped.
struct RealFileSystem {
    const char* name;
    std::string tools;  // besides mount, each checked for
    std::string mount;  // a shell's commands in the folder, mounting at m
    std::string fill;
    std::uint64_t file_size_limit = 1u << 30;
    bool possible = true;
    std::string dos_attributes;  // ntfs-3g's, set before and kept after a replacement
};

const std::string ext4 =
    "truncate -s 2M e.img && mkfs.ext4 -q -I 128 -N 64 e.img >/dev/null 2>&1 && mkdir m && "
    "mount -o loop e.img m";
const std::string fill = "dd if=/dev/zero of=m/fill bs=1k 2>/dev/null; sync";
const RealFileSystem real_file_systems[] = {
    {"FullExt4", "mkfs.ext4 losetup", ext4, fill},
    {"Ext4WithNoFreeInodeAndNoFreeBlock", "mkfs.ext4 losetup", ext4,
     "i=0; while touch m/i$i 2>/dev/null; do i=$((i+1)); done; " + fill},
    {"OverlayOfTwoFileSystems", "",
     "mkdir l u m && mount -t tmpfs none l && mount -t tmpfs none u && mkdir u/up u/work && "
     "mount -t overlay overlay -o lowerdir=l,upperdir=u/up,workdir=u/work m",
     "true", 10240, knows_mount_ids},
    {"Ntfs3gKeepsTheDosAttributes", "mkntfs ntfs-3g",
     "truncate -s 8M n.img && mkntfs -q -F -f n.img >/dev/null 2>&1 && mkdir m && "
     "ntfs-3g n.img m",
     "true", 1u << 30, std::filesystem::exists("/dev/fuse"), std::string("\0\0\0\x22", 4)},
};

void PrintTo(const RealFileSystem& row, std::ostream* out) { *out << row.name; }

class OnRealFileSystems : public Faults, public ::testing::WithParamInterface<RealFileSystem> {
  protected:
    void TearDown() override {
        (void)shell_in(folder,
                       "for m in m u l; do umount $m; done 2>/dev/null; rm -rf m u l *.img");
        Faults::TearDown();
    }
};

TEST_P(OnRealFileSystems, AFailureKeepsTheOutput) {
    const RealFileSystem& row = GetParam();
    if (!row.possible) GTEST_SKIP() << "the build knows no mount ID, or there is no /dev/fuse";
    if (shell_in(folder, "mkdir probe && mount -t tmpfs none probe && umount probe") != 0) {
        GTEST_SKIP() << "this process cannot mount a file system";
    }
    if (shell_in(folder, "for t in " + row.tools + "; do command -v $t || exit 1; done >/dev/null") != 0) {
        GTEST_SKIP() << "needs " << row.tools;
    }
    ASSERT_EQ(shell_in(folder, row.mount), 0) << "cannot mount: " << row.mount;
    const std::string image = path("m/img");
    test::write_file(image, test::pattern(100000, 11));
    const bool dos = !row.dos_attributes.empty();
    if (dos) {
        ASSERT_TRUE(test::set_attribute(image, "system.ntfs_attrib_be", row.dos_attributes));
    } else {
        (void)test::set_attribute(image, "user.one", std::string(40, '1'));
        (void)test::set_attribute(image, "user.two", std::string(40, '2'));
    }
    EXPECT_EQ(shell_in(folder, row.fill), 0);
    const auto names = test::folder_names(path("m"));
    const auto file_before = file_number(image);
    const auto result = test::run(dimblank, {image}, {.file_size_limit = row.file_size_limit});
    EXPECT_EQ(test::folder_names(path("m")), names);
    if (dos) {
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(test::read_file(image), Bytes(737280, 0));
        EXPECT_NE(file_number(image), file_before);  // replaced, not written in place
        EXPECT_EQ(test::attribute(image, "system.ntfs_attrib_be"), row.dos_attributes);
    } else {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(test::read_file(image), test::pattern(100000, 11));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, OnRealFileSystems, ::testing::ValuesIn(real_file_systems),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace

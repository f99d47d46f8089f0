// Running the built programs as a user would, and the files around them.
// Paths are UTF-8 strings on every platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test {

using Bytes = std::vector<std::uint8_t>;

struct RunResult {
    int status = 0;                 // the exit status as a POSIX shell sees it, 0..255
    std::uint32_t full_status = 0;  // the whole exit code (Windows: a DWORD)
    std::string standard_output;
    std::string standard_error;
};

struct RunOptions {
    std::string working_folder;                    // empty: the current one
    std::optional<std::uint64_t> file_size_limit;  // RLIMIT_FSIZE, in bytes
    std::optional<unsigned> open_files_limit;      // RLIMIT_NOFILE
    bool unprivileged = false;                     // as user nobody, where the tests run as root
    bool closed_standard_files = false;            // started with descriptors 0, 1 and 2 closed
    int time_limit = 60;  // seconds; then the program and what it started are ended (POSIX)
};

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

// A path of the build or source tree as the tests' platform names it.
std::string tree_path(const char* path);

std::filesystem::path fs(const std::string& utf8);
Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
void write_text(const std::string& path, const std::string& text);

// Bytes that differ from position to position, so a misplaced copy shows.
Bytes pattern(std::size_t length, std::uint8_t seed);

// Whether POSIX facilities (a file-size limit, /dev/full, /proc) are here;
// tests that need them are skipped elsewhere, with the reason.
#if defined(_WIN32)
inline constexpr bool on_posix = false;
inline constexpr const char* line_end = "\r\n";  // standard error is in text mode
#else
inline constexpr bool on_posix = true;
inline constexpr const char* line_end = "\n";
#endif

// For a table row that needs what only POSIX offers, or a file of the
// system among paths (/dev/full, /proc/self/mem): true where it is missing,
// after naming the row as skipped in the test log.
bool skip_row_unless_posix(bool posix_only, const char* name,
                           const std::vector<std::string>& paths = {});
bool skip_row_unless(bool possible, const char* name, const char* why);

// A symbolic link to a path that does not exist (POSIX only; nothing elsewhere).
void make_dangling_link(const std::string& link, const std::string& missing_target);

// A FIFO (POSIX only; nothing elsewhere).
void make_fifo(const std::string& path);

// Waits for a reader of the FIFO at path, reading in the background, to
// finish. Where its writer never came (a program that did not start), a
// writer that opens and closes at once ends the wait, so no test hangs.
Bytes finish_reading_fifo(const std::string& path, std::future<Bytes>& reading);

// The owning user and group of a file, and a change of them, of a link
// itself where path is one (POSIX only; elsewhere 0 and false).
std::pair<std::uint32_t, std::uint32_t> owner_of(const std::string& path);
bool give_to(const std::string& path, std::uint32_t user, std::uint32_t group);

// The user nobody's user and group IDs, as the system names them.
std::pair<std::uint32_t, std::uint32_t> nobody();

// Whether the tests run as root (POSIX; false elsewhere).
bool running_as_root();

// Whether a protection of the kernel (/proc/sys/fs/NAME) is on, and the tests
// run as root, whom it protects too; false where there is no such setting.
bool root_protected_by(const char* name);

// A flag of chattr, set or cleared where set says, and whether it is set
// then (where the programs keep such flags; elsewhere nothing).
enum class InodeFlag { no_dump, append_only };
std::optional<bool> inode_flag(const std::string& path, InodeFlag flag,
                               std::optional<bool> set = {});

// An extended attribute of a file, set and read (POSIX only; elsewhere
// false).
bool set_attribute(const std::string& path, const char* name, const std::string& value);
std::string attribute(const std::string& path, const char* name);

// A folder more than 300 characters below folder, made, in each form a user
// may name it: relative to folder (the run's working folder), absolute,
// and on Windows in the \\?\ form. Each is a pair: the folder as given to
// a program and as the tests name it, each ending in a separator.
std::vector<std::pair<std::string, std::string>> long_paths(const std::string& folder);

// The names in a folder, sorted.
std::vector<std::string> folder_names(const std::string& folder);

// Keeps a file open, as another program would, without sharing its deletion
// or renaming (Windows only; nothing elsewhere).
class HeldOpen {
  public:
    explicit HeldOpen(const std::string& path);
    ~HeldOpen();  // NOLINT(performance-trivially-destructible): empty only off Windows
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

  private:
    [[maybe_unused]] void* handle_ = nullptr;  // Windows only
};

// The program run with too few paths, and with "--version" or "--help"
// alone: the usage line on standard error with the failure status, or the
// version or the help on standard output with status 0; never a file made
// in folder, the working folder.
void expect_usage_and_information(const std::string& program, const std::string& usage,
                                  int failure_status, const std::vector<std::string>& too_few,
                                  const std::string& folder);

// start, filled up to length characters with fill: a line of a given length.
inline std::string padded_line(std::size_t length, const std::string& start, char fill) {
    std::string line = start;
    line.resize(length, fill);
    return line;
}

// A fresh, empty folder for each test, removed afterwards.
class InFolder : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

}  // namespace test

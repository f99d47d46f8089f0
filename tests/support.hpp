// Running the built programs as a user would, and the files around them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace test {

using Bytes = std::vector<std::uint8_t>;

struct RunResult {
    int status = 0;  // the exit status as a POSIX shell sees it, 0..255
    std::string standard_output;
    std::string standard_error;
};

struct RunOptions {
    std::filesystem::path working_folder;           // empty: the current one
    std::optional<std::uint64_t> file_size_limit;   // RLIMIT_FSIZE, in bytes
};

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options = {});

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);
void write_text(const std::filesystem::path& path, const std::string& text);

// Bytes that differ from position to position, so a misplaced copy shows.
Bytes pattern(std::size_t length, std::uint8_t seed);

// A fresh, empty folder for each test, removed afterwards.
class InFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path path(const std::string& name) const { return folder / name; }
    std::filesystem::path folder;
};

}  // namespace test

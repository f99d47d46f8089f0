#include "support.hpp"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {
namespace {

std::string drain(int descriptor) {
    std::string text;
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(descriptor, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(descriptor);
    return text;
}

}  // namespace

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
    int output_pipe[2];
    int error_pipe[2];
    if (::pipe(output_pipe) != 0 || ::pipe(error_pipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {-1, {}, {}};
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output_pipe[1], STDOUT_FILENO);
        ::dup2(error_pipe[1], STDERR_FILENO);
        ::close(output_pipe[0]);
        ::close(output_pipe[1]);
        ::close(error_pipe[0]);
        ::close(error_pipe[1]);
        if (!options.working_folder.empty() &&
            ::chdir(options.working_folder.c_str()) != 0) {
            ::_exit(120);
        }
        if (options.file_size_limit) {
            // An ignored SIGXFSZ stays ignored across exec, so the limit
            // shows up as a failing write (EFBIG), not as a killed process.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{*options.file_size_limit, *options.file_size_limit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(122);
    }
    ::close(output_pipe[1]);
    ::close(error_pipe[1]);
    RunResult result;
    result.standard_output = drain(output_pipe[0]);
    result.standard_error = drain(error_pipe[0]);
    int wait_status = 0;
    while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                           : 1000 + WTERMSIG(wait_status);
    return result;
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << "cannot write " << path;
}

void write_text(const std::filesystem::path& path, const std::string& text) {
    write_file(path, Bytes(text.begin(), text.end()));
}

Bytes pattern(std::size_t length, std::uint8_t seed) {
    std::minstd_rand generator(seed + 1u);
    Bytes bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator() >> 7);
    return bytes;
}

void InFolder::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    folder = std::filesystem::path(::testing::TempDir()) /
             ("dimtools." + std::to_string(::getpid()) + "." + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

void InFolder::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace test

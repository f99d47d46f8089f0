#include "support.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <thread>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif
#include <fcntl.h>
#if DIMTOOLS_HAVE_LINUX_XATTR
#include <sys/xattr.h>
#endif
#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace test {

std::filesystem::path fs(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

namespace {

std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

#if defined(_WIN32)

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

// Quotes one argument so that the C runtime's parser gives it back as is.
void append_quoted(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(2 * backslashes + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

std::string drain(HANDLE pipe) {
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    CloseHandle(pipe);
    return text;
}

}  // namespace

std::string tree_path(const char* path) {
    // Under Wine the build tree's POSIX paths are reached through drive Z:.
    const std::string text = path;
    return !text.empty() && text[0] == '/' ? "Z:" + text : text;
}

HeldOpen::HeldOpen(const std::string& path)
    : handle_(CreateFileW(fs(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << "cannot hold " << path;
}

HeldOpen::~HeldOpen() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
    if (options.file_size_limit || options.open_files_limit)
        ADD_FAILURE() << "no limits on Windows";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output_read, output_write, error_read, error_write;
    CreatePipe(&output_read, &output_write, &inherit, 0);
    CreatePipe(&error_read, &error_write, &inherit, 0);
    SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    append_quoted(line, wide(program));
    for (const auto& argument : args) {
        line += L' ';
        append_quoted(line, wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output_write;
    startup.hStdError = error_write;
    PROCESS_INFORMATION process{};
    const std::wstring folder = wide(options.working_folder);
    const std::wstring application = wide(program);
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start " << program;
        return {};
    }
    CloseHandle(output_write);
    CloseHandle(error_write);
    RunResult result;
    result.standard_output = drain(output_read);
    result.standard_error = drain(error_read);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.full_status = code;
    result.status = static_cast<int>(code & 0xFF);
    return result;
}

#else

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

std::string tree_path(const char* path) { return path; }

HeldOpen::HeldOpen(const std::string&) {}
HeldOpen::~HeldOpen() = default;

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
    int output_pipe[2];
    int error_pipe[2];
    if (::pipe(output_pipe) != 0 || ::pipe(error_pipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    // The user nobody may not reach the build tree: it runs a copy.
    const bool as_nobody = options.unprivileged && ::geteuid() == 0;
    const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                       ("dimtools." + std::to_string(::getpid()) + ".program");
    if (as_nobody) {
        std::filesystem::copy_file(program, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(copy, std::filesystem::perms(0755));
    }
    const std::string executed = as_nobody ? copy.string() : program;
    // Looked up before the fork: the child of a process with threads may
    // call nothing that takes a lock.
    const auto [user, group] = nobody();
#if defined(DIMTOOLS_TEST_EMULATOR)
    std::vector<std::string> words{DIMTOOLS_TEST_EMULATOR};
#else
    std::vector<std::string> words;
#endif
    words.push_back(executed);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        // A group of its own, so that what it starts is ended with it.
        ::setpgid(0, 0);
        if (options.closed_standard_files) {
            for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
                ::close(descriptor);
            }
        } else {
            ::dup2(output_pipe[1], STDOUT_FILENO);
            ::dup2(error_pipe[1], STDERR_FILENO);
        }
        // Nothing but the standard files is handed on, as from a shell.
        constexpr int last_inherited = 1023;
        for (int descriptor = STDERR_FILENO + 1; descriptor <= last_inherited; ++descriptor) {
            ::close(descriptor);
        }
        if (!options.working_folder.empty() && ::chdir(options.working_folder.c_str()) != 0) {
            ::_exit(120);
        }
        // The programs must ignore SIGXFSZ themselves.
        static_cast<void>(::signal(SIGXFSZ, SIG_DFL));
        if (options.file_size_limit) {
            const auto bytes = static_cast<rlim_t>(*options.file_size_limit);
            const rlimit limit{bytes, bytes};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
        }
        if (options.open_files_limit) {
            const rlimit limit{*options.open_files_limit, *options.open_files_limit};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(121);
        }
        if (as_nobody &&
            (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0)) {
            ::_exit(123);
        }
        ::execv(argv[0], argv.data());
        ::_exit(122);
    }
    ::setpgid(child, child);
    // A program that hangs is ended, and the row fails, within the limit.
    std::promise<void> ended;
    std::thread watchdog([&child, limit = options.time_limit, done = ended.get_future()] {
        if (done.wait_for(std::chrono::seconds(limit)) == std::future_status::timeout) {
            ::kill(-child, SIGKILL);
        }
    });
    ::close(output_pipe[1]);
    ::close(error_pipe[1]);
    RunResult result;
    result.standard_output = drain(output_pipe[0]);
    result.standard_error = drain(error_pipe[0]);
    int wait_status = 0;
    while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    ended.set_value();
    watchdog.join();
    result.status =
        WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
    result.full_status = static_cast<std::uint32_t>(result.status);
    if (as_nobody) std::filesystem::remove(copy);
    return result;
}

#endif

Bytes read_file(const std::string& path) {
    std::ifstream in(fs(path), std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(fs(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << "cannot write " << path;
}

void write_text(const std::string& path, const std::string& text) {
    write_file(path, Bytes(text.begin(), text.end()));
}

bool skip_row_unless(bool possible, const char* name, const char* why) {
    if (!possible) std::cout << "[ SKIPPED  ] " << name << ": " << why << "\n";
    return !possible;
}

bool skip_row_unless_posix(bool posix_only, const char* name,
                           const std::vector<std::string>& paths) {
    std::error_code ignored;
    for (const auto& path : paths) {
        const bool system_file = path.starts_with("/dev/") || path.starts_with("/proc/");
        if (system_file && !std::filesystem::exists(fs(path), ignored)) {
            return skip_row_unless(false, name, "the system has no such file");
        }
    }
    return skip_row_unless(!posix_only || on_posix, name, "POSIX only");
}

void make_dangling_link(const std::string& link, const std::string& missing_target) {
    if constexpr (on_posix) std::filesystem::create_symlink(fs(missing_target), fs(link));
}

void make_fifo(const std::string& path) {
#if !defined(_WIN32)
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0) << path;
#else
    (void)path;
#endif
}

Bytes finish_reading_fifo([[maybe_unused]] const std::string& path, std::future<Bytes>& reading) {
#if !defined(_WIN32)
    while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
#endif
    return reading.get();
}

std::pair<std::uint32_t, std::uint32_t> owner_of(const std::string& path) {
#if !defined(_WIN32)
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return {status.st_uid, status.st_gid};
#else
    (void)path;
    return {0, 0};
#endif
}

bool give_to(const std::string& path, std::uint32_t user, std::uint32_t group) {
#if !defined(_WIN32)
    return ::lchown(path.c_str(), user, group) == 0;
#else
    (void)path, (void)user, (void)group;
    return false;
#endif
}

std::pair<std::uint32_t, std::uint32_t> nobody() {
#if !defined(_WIN32)
    if (const passwd* entry = ::getpwnam("nobody")) return {entry->pw_uid, entry->pw_gid};
#endif
    return {65534, 65534};
}

bool running_as_root() {
#if !defined(_WIN32)
    return ::geteuid() == 0;
#else
    return false;
#endif
}

bool root_protected_by(const char* name) {
    std::ifstream setting(std::string("/proc/sys/fs/") + name);
    int level = 0;
#if !defined(_WIN32)
    if (::geteuid() != 0) return false;
#endif
    return setting >> level && level > 0;
}

#if DIMTOOLS_HAVE_INODE_FLAG_IOCTLS
std::optional<bool> inode_flag(const std::string& path, InodeFlag flag, std::optional<bool> set) {
    const int bit = flag == InodeFlag::no_dump ? FS_NODUMP_FL : FS_APPEND_FL;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool done = descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    if (done && set) {
        flags = *set ? flags | bit : flags & ~bit;
        done = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (descriptor >= 0) ::close(descriptor);
    return done ? std::optional<bool>((flags & bit) != 0) : std::nullopt;
}
#else
std::optional<bool> inode_flag(const std::string&, InodeFlag, std::optional<bool>) { return {}; }
#endif

bool set_attribute(const std::string& path, const char* name, const std::string& value) {
#if DIMTOOLS_HAVE_LINUX_XATTR
    return ::setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
#else
    return (void)path, (void)name, (void)value, false;
#endif
}

std::string attribute(const std::string& path, const char* name) {
    std::string value(256, '\0');
#if DIMTOOLS_HAVE_LINUX_XATTR
    value.resize(static_cast<std::size_t>(
        std::max(::getxattr(path.c_str(), name, value.data(), value.size()), ssize_t{0})));
#endif
    return (void)path, (void)name, value;
}

std::vector<std::string> folder_names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(fs(folder))) {
        names.push_back(utf8_of(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes pattern(std::size_t length, std::uint8_t seed) {
    std::minstd_rand generator(seed + 1u);
    Bytes bytes(length);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator() >> 7);
    return bytes;
}

void expect_usage_and_information(const std::string& program, const std::string& usage,
                                  int failure_status, const std::vector<std::string>& too_few,
                                  const std::string& folder) {
    const std::string name = usage.substr(7, usage.find(' ', 7) - 7);  // after "usage: "
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},  // the usage line on standard error instead
        {too_few, ""},
        {{"--version"}, name + " " + DIMTOOLS_VERSION + line_end},
        {{"--help"}, usage + line_end}};
    for (const auto& [args, output_start] : cases) {
        const auto result = run(program, args, {.working_folder = folder});
        EXPECT_EQ(result.status, output_start.empty() ? failure_status : 0);
        EXPECT_TRUE(result.standard_output.starts_with(output_start) &&
                    result.standard_output.empty() == output_start.empty());
        EXPECT_EQ(result.standard_error, output_start.empty() ? usage + line_end : "");
        EXPECT_TRUE(std::filesystem::is_empty(fs(folder)));
    }
}

std::vector<std::pair<std::string, std::string>> long_paths(const std::string& folder) {
    const std::string relative =
        std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c') + "/";
    const std::string deep = folder + "/" + relative;
    std::filesystem::create_directories(fs(deep));
    std::vector<std::pair<std::string, std::string>> forms{{relative, deep}, {deep, deep}};
#if defined(_WIN32)
    const auto full = std::filesystem::absolute(fs(deep)).make_preferred();
    forms.emplace_back("\\\\?\\" + utf8_of(full), deep);
#endif
    return forms;
}

void InFolder::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    const auto where = std::filesystem::temp_directory_path() /
                       ("dimtools." + std::to_string(std::random_device{}()) + "." + name);
    std::filesystem::remove_all(where);
    std::filesystem::create_directories(where);
    folder = utf8_of(where);
}

void InFolder::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(fs(folder), ignored);
}

}  // namespace test

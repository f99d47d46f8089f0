#include "entry.hpp"

#include <csignal>

#include "file.hpp"

namespace platform {
int enter(const Program& program, int count, native_char** arguments) {
#if defined(SIGXFSZ)
    // A file-size limit then fails a write (EFBIG), as a full disk does.
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
    const Args args(arguments, static_cast<std::size_t>(count));
    const bool version = args.size() == 2 && is_option_word(args[1], "--version");
    if (version || (args.size() == 2 && is_option_word(args[1], "--help"))) {
        const bool written = version ? write_standard_output(program.name) &&
                                           write_standard_output(" " DIMTOOLS_VERSION "\n")
                                     : write_standard_output(program.usage) &&
                                           write_standard_output("\n") &&
                                           write_standard_output(program.help);
        return written ? exit_success : program.failure;
    }
    if (args.size() <= program.paths) {
        write_standard_error(program.usage);
        write_standard_error("\n");
        return program.failure;
    }
    return program.run(args);
}
}  // namespace platform

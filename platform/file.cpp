// The file seam's decisions, once for every platform, on the values the
// primitives give: whole transfers, and how an output is replaced.
#include "file.hpp"

#include <utility>

#include "primitives.hpp"

namespace platform {

namespace {

bool write_all(int descriptor, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const std::ptrdiff_t written = write_some(descriptor, bytes);
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// The longest name a folder holds, in bytes on POSIX systems and in UTF-16
// units on Windows, on every file system in common use.
constexpr std::size_t longest_name = 255;

// The name of a temporary file beside target: hidden, and showing what it
// is and whose it is, ".prog.rom.dimtools-0123abcd.tmp" for "prog.rom";
// ".dimtools-0123abcd.tmp" where that would be too long a name.
NativePath temporary_name(const NativePath& target, std::uint32_t unique) {
#if defined(_WIN32)
    const std::size_t cut = target.find_last_of(L"/\\:");
#else
    const std::size_t cut = target.rfind('/');
#endif
    const std::size_t name_start = cut == NativePath::npos ? 0 : cut + 1;
    const auto append = [](NativePath& to, std::string_view text) {
        for (const char c : text) to += static_cast<native_char>(c);
    };
    constexpr std::size_t decoration = std::string_view(".dimtools-01234567.tmp").size() + 1;
    NativePath name = target.substr(0, name_start);
    append(name, ".");
    if (target.size() - name_start + decoration <= longest_name) {
        name.append(target, name_start);
        append(name, ".");
    }
    append(name, "dimtools-");
    for (int shift = 28; shift >= 0; shift -= 4) {
        append(name, std::string_view("0123456789abcdef").substr((unique >> shift) & 15, 1));
    }
    append(name, ".tmp");
    return name;
}

// Tries names until make(name) ends otherwise than with a name that is
// taken; after sixteen taken names the place counts as refusing. name stays
// set only where the step was done, so that no other process's file is
// ever removed as the temporary.
template <class Make>
Step under_a_free_name(const Output& output, NativePath& name, Make make) {
    const std::uint64_t seed = process_and_time();
    std::uint32_t unique =
        static_cast<std::uint32_t>(seed >> 32) * 2654435761u ^ static_cast<std::uint32_t>(seed);
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = temporary_name(output.target, unique);
        const Step step = make(name);
        if (step == Step::done) return step;
        name.clear();
        if (step != Step::name_taken) return step;
        unique = unique * 1664525u + 1013904223u;
    }
    return Step::refused;
}

// A nameless file where the system makes one; where its data failed, no
// named file is tried.
Step create_temporary(const Output& output, Temporary& temporary) {
    const Step nameless = create_nameless(output, temporary.file);
    if (nameless != Step::refused) return nameless;
    return under_a_free_name(output, temporary.name, [&](const NativePath& name) {
        return create_beside(output, name, temporary.file);
    });
}

// A nameless file is named only now, complete: a new output's by its own
// name (unless another process made it meanwhile), so that no other name
// ever exists; any other by a temporary name, renamed at once.
Step name_temporary(const Output& output, Temporary& temporary) {
    if (!temporary.name.empty()) return Step::done;
    if (!output.existing.is_open()) {
        const Step step = give_name(output, temporary.file, output.target);
        if (step == Step::done) {
            temporary.name = output.target;
            temporary.at_target = true;
        }
        if (step != Step::name_taken) return step;
    }
    return under_a_free_name(output, temporary.name, [&](const NativePath& name) {
        return give_name(output, temporary.file, name);
    });
}

// Closed first: Windows deletes no open file.
void discard_temporary(const Output& output, Temporary& temporary) {
    (void)temporary.file.close();
    if (!temporary.name.empty()) remove_beside(output, temporary.name);
    temporary.name.clear();
}

// What a truncating open does: the file keeps its identity and loses its
// earlier contents before the new ones are written.
bool write_in_place(Output& output, std::span<const std::byte> bytes) {
    File& file = output.existing;
    if (!file.is_open()) {
        if (!open_path(output.path, OpenMode::replace, file)) return false;
    } else if (output.regular && !truncate_to_nothing(file.descriptor())) {
        return false;
    }
    return write_all(file.descriptor(), bytes) && file.close();
}

// After a step before the output was replaced failed: where the place
// refused it, the output is written in place as the shell would; where the
// data failed, the earlier output stays as it was.
bool after_failed(Step step, Output& output, Temporary& temporary,
                  std::span<const std::byte> bytes) {
    discard_temporary(output, temporary);
    return step == Step::refused && write_in_place(output, bytes);
}

}  // namespace

bool File::close() { return descriptor_ < 0 || close_descriptor(std::exchange(descriptor_, -1)); }

bool file_length(File& file, std::int64_t& length) {
    return seek_to_end(file.descriptor(), length) && seek_to(file.descriptor(), 0);
}

bool read_next(File& file, std::span<std::byte> bytes, std::size_t& count) {
    const std::ptrdiff_t got = read_some(file.descriptor(), bytes);
    count = got > 0 ? static_cast<std::size_t>(got) : 0;
    return got >= 0;
}

bool read_exactly_at(File& file, std::int64_t position, std::span<std::byte> bytes) {
    if (!seek_to(file.descriptor(), position)) return false;
    while (!bytes.empty()) {
        // The end of the file before the last byte is a short read.
        const std::ptrdiff_t got = read_some(file.descriptor(), bytes);
        if (got <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
    return true;
}

bool write_all_at(File& file, std::int64_t position, std::span<const std::byte> bytes) {
    return seek_to(file.descriptor(), position) && write_all(file.descriptor(), bytes);
}

bool write_standard_output(std::string_view text) {
    return write_all(standard_output, std::as_bytes(std::span(text)));
}

void write_standard_error(std::string_view text) {
    (void)write_all(standard_error, std::as_bytes(std::span(text)));
}

// Each step runs only after the one before it was done; the first that is
// not decides, in after_failed, what becomes of the output.
bool write_whole_file(const native_char* path, std::span<const std::byte> bytes) {
    Output output;
    if (!open_output(path, output)) return false;
    if (!output.replaceable) return write_in_place(output, bytes);
    Temporary temporary;
    Step step = create_temporary(output, temporary);
    if (step == Step::done) step = take_attributes_of(output, temporary);
    if (step == Step::done && !write_all(temporary.file.descriptor(), bytes)) {
        step = Step::data_failed;
    }
    if (step == Step::done) step = name_temporary(output, temporary);
    if (step == Step::done && !temporary.file.close()) step = Step::data_failed;
    if (step == Step::done && !temporary.at_target) step = replace_output(output, temporary.name);
    return step == Step::done || after_failed(step, output, temporary, bytes);
}

}  // namespace platform

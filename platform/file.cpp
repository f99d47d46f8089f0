// The file seam's decisions, once for every platform, on the primitives'
// facts and outcomes: whole transfers, and the one verdict on how an output
// is written (choose_replacement).
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

constexpr std::size_t longest_name = 255;  // bytes, or UTF-16 units on Windows

// Hidden, and showing what it is and whose: ".prog.rom.dimtools-0123abcd.tmp"
// for "prog.rom"; ".dimtools-0123abcd.tmp" where that would be too long.
constexpr std::string_view name_prefix = "dimtools-";
constexpr std::string_view name_suffix = ".tmp";
constexpr int unique_digits = 8;  // of hexadecimal, from a 32-bit number

NativePath temporary_name(const NativePath& target, std::uint32_t unique) {
    std::string decoration(name_prefix);
    for (int digit = unique_digits - 1; digit >= 0; --digit) {
        decoration += "0123456789abcdef"[(unique >> (4 * digit)) & 15];
    }
    decoration += name_suffix;
    NativePath name(1, native_char{'.'});
    if (2 + target.size() + decoration.size() <= longest_name) name.append(target) += '.';
    return name.append(decoration.begin(), decoration.end());
}

// Knuth's multiplicative hash mixes the process number into the clock's
// bits; each taken name moves on by Numerical Recipes' linear congruential
// step. After names_tried taken names the place counts as refusing.
constexpr int names_tried = 16;
constexpr std::uint32_t hash_multiplier = 2654435761u;
constexpr std::uint32_t step_multiplier = 1664525u;
constexpr std::uint32_t step_increment = 1013904223u;

// temporary.name is set only where it was made, so that no other process's
// file is ever removed as the temporary.
template <class Make>
Outcome under_a_free_name(Temporary& temporary, Make make) {
    const std::uint64_t seed = name_seed();
    std::uint32_t unique =
        static_cast<std::uint32_t>(seed >> 32) * hash_multiplier ^ static_cast<std::uint32_t>(seed);
    for (int attempt = 0; attempt < names_tried; ++attempt) {
        const NativePath name = temporary_name(temporary.output.target, unique);
        const Outcome outcome = make(name);
        if (outcome == Outcome::done) temporary.name = name;
        if (outcome != Outcome::name_taken) return outcome;
        unique = unique * step_multiplier + step_increment;
    }
    return Outcome::refused;
}

// The one verdict: replaced through a temporary file (done), written in
// place as the shell would (refused), or left as it was (a check failed).
// A rename would lose what a truncating open keeps of a device, a FIFO, more
// links than one, another user's file or a mount; it cannot land in a folder
// that takes no new file or where the name leads elsewhere.
Outcome choose_replacement(Output& output) {
    const bool exists = output.existing.is_open();
    if (exists && !(output.regular && output.links == 1 && output.owner_can_be_given)) {
        return Outcome::refused;
    }
    bool takes = false;
    bool leads = true;
    bool mount_point = false;
    Outcome outcome = find_folder(output);
    if (outcome == Outcome::done) outcome = folder_takes_new_file(output, takes);
    if (outcome == Outcome::done && takes && exists) outcome = name_leads_to_file(output, leads);
    if (outcome == Outcome::done && takes && exists) outcome = is_mount_point(output, mount_point);
    if (outcome != Outcome::done) return outcome;
    return takes && leads && !mount_point ? Outcome::done : Outcome::refused;
}

// Where a nameless file failed, no named one is tried.
Outcome create_temporary(Temporary& temporary) {
    const Outcome nameless = create_nameless(temporary.output, temporary);
    if (nameless != Outcome::refused) return nameless;
    return under_a_free_name(temporary, [&](const NativePath& name) {
        return create_beside(temporary.output, name, temporary);
    });
}

// A nameless file is named once complete: a new output's by its own name
// (unless another process made it meanwhile), else by a temporary name.
Outcome name_temporary(Temporary& temporary) {
    const Output& output = temporary.output;
    if (!temporary.name.empty()) return Outcome::done;
    if (!output.existing.is_open()) {
        const Outcome outcome = give_name(output, temporary, output.target);
        if (outcome != Outcome::name_taken) return outcome;
    }
    return under_a_free_name(
        temporary, [&](const NativePath& name) { return give_name(output, temporary, name); });
}

// Each step only after the one before it was done.
Outcome replace_through_temporary(Output& output, std::span<const std::byte> bytes) {
    Temporary temporary(output);
    Outcome outcome = create_temporary(temporary);
    if (outcome == Outcome::done) outcome = copy_output_attributes(output, temporary);
    if (outcome == Outcome::done && !write_all(temporary.file.descriptor(), bytes)) {
        outcome = Outcome::failed;
    }
    if (outcome == Outcome::done) outcome = name_temporary(temporary);
    if (outcome == Outcome::done && !temporary.file.close()) outcome = Outcome::failed;
    // A new output's nameless file named by its own name is in place.
    if (outcome == Outcome::done && !temporary.name.empty()) {
        outcome = replace_output(output, temporary);
    }
    return outcome;
}

// As a truncating open: the file keeps its identity, not its contents.
bool write_in_place(Output& output, std::span<const std::byte> bytes) {
    File& file = output.existing;
    if (!file.is_open()) {
        if (!open_path(output.path, OpenMode::replace, file)) return false;
    } else if (output.regular && !truncate_to_nothing(file.descriptor())) {
        return false;
    }
    return write_all(file.descriptor(), bytes) && file.close();
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

// Closed first: Windows removes no open file.
Temporary::~Temporary() {
    (void)file.close();
    if (!name.empty()) remove_temporary(output, *this);
}
bool write_whole_file(const native_char* path, std::span<const std::byte> bytes) {
    Output output;
    if (open_output(path, output) != Outcome::done) return false;
    Outcome outcome = choose_replacement(output);
    if (outcome == Outcome::done) outcome = replace_through_temporary(output, bytes);
    return outcome == Outcome::done ||
           (outcome == Outcome::refused && write_in_place(output, bytes));
}
}  // namespace platform

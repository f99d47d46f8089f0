// The decisions of file.cpp against scripted primitives, on every build:
// each row says how the primitives end and which calls must follow, in
// order, and what the run reports. A close is named by what it closes
// (the folder's is left out); "x*N" is N calls of x in a row.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "primitives.hpp"

namespace platform {
namespace {

struct Script {
    bool exists = true;  // the output exists and is open
    bool regular = true;
    bool replaceable = true;
    std::map<std::string, Step> ends;  // how a call ends where not done
    int taken = 0;                     // the names found taken before a free one
    std::vector<std::string> calls;
};

Script* script = nullptr;  // the row being run

constexpr int output_descriptor = 3;
constexpr int folder_descriptor = 4;
constexpr int temporary_descriptor = 5;
constexpr int new_output_descriptor = 6;

const char* role(int descriptor) {
    return descriptor == output_descriptor       ? "output"
           : descriptor == temporary_descriptor  ? "temporary"
           : descriptor == new_output_descriptor ? "new output"
                                                 : "another file";
}

const char* name_role(const Output& output, const NativePath& name) {
    return name == output.target ? " target" : " temp";
}

Step ends(const std::string& call) {
    script->calls.push_back(call);
    const auto found = script->ends.find(call);
    return found == script->ends.end() ? Step::done : found->second;
}

bool succeeds(const std::string& call) { return ends(call) == Step::done; }

Step unless_taken(const std::string& call) {
    if (script->taken == 0) return ends(call);
    --script->taken;
    script->calls.push_back(call);
    return Step::name_taken;
}

}  // namespace

bool open_path(const native_char*, OpenMode, File& file) {
    if (!succeeds("open")) return false;
    file = File(new_output_descriptor);
    return true;
}

bool open_output(const native_char* path, Output& output) {
    output.path = path;
    if (!succeeds("open_output")) return false;
    output.target = path;
    output.folder = File(folder_descriptor);
    if (script->exists) output.existing = File(output_descriptor);
    output.regular = script->exists && script->regular;
    output.replaceable = script->replaceable;
    return true;
}

Step create_nameless(const Output&, File& file) {
    const Step step = ends("create_nameless");
    if (step == Step::done) file = File(temporary_descriptor);
    return step;
}

Step create_beside(const Output&, const NativePath&, File& file) {
    const Step step = unless_taken("create_beside");
    if (step == Step::done) file = File(temporary_descriptor);
    return step;
}

Step give_name(const Output& output, const File&, const NativePath& name) {
    return unless_taken(std::string("give_name").append(name_role(output, name)));
}

std::uint64_t process_and_time() { return 0; }

Step take_attributes_of(const Output&, const Temporary&) { return ends("take_attributes"); }

Step replace_output(Output&, const NativePath&) { return ends("replace"); }

void remove_beside(const Output& output, const NativePath& name) {
    script->calls.push_back(std::string("remove").append(name_role(output, name)));
}

bool truncate_to_nothing(int descriptor) {
    return succeeds(std::string("truncate ").append(role(descriptor)));
}

bool seek_to(int, std::int64_t) { return true; }

bool seek_to_end(int, std::int64_t& position) {
    position = 0;
    return true;
}

std::ptrdiff_t read_some(int, std::span<std::byte>) { return 0; }

std::ptrdiff_t write_some(int descriptor, std::span<const std::byte> bytes) {
    return succeeds(std::string("write ").append(role(descriptor)))
               ? static_cast<std::ptrdiff_t>(bytes.size())
               : -1;
}

bool close_descriptor(int descriptor) {
    return descriptor == folder_descriptor ||
           succeeds(std::string("close ").append(role(descriptor)));
}

namespace {

std::string joined(const std::vector<std::string>& calls) {
    std::string text;
    for (std::size_t at = 0; at < calls.size();) {
        std::size_t next = at + 1;
        while (next < calls.size() && calls[next] == calls[at]) ++next;
        if (!text.empty()) text.append(", ");
        text.append(calls[at]);
        if (next - at > 1) text.append("*").append(std::to_string(next - at));
        at = next;
    }
    return text;
}

struct Row {
    const char* what;
    Script script;
    const char* calls;
    bool written;
};

constexpr Step taken = Step::name_taken;
constexpr Step refused = Step::refused;
constexpr Step failed = Step::data_failed;

TEST(Decisions, FollowFromHowEachStepEnds) {
    const Row rows[] = {
        {"a new output, named by its own name once complete",
         {.exists = false},
         "open_output, create_nameless, take_attributes, write temporary, give_name target, "
         "close temporary",
         true},
        {"a new output whose name another process took meanwhile",
         {.exists = false, .ends = {{"give_name target", taken}}},
         "open_output, create_nameless, take_attributes, write temporary, give_name target, "
         "give_name temp, close temporary, replace",
         true},
        {"an existing output, replaced",
         {},
         "open_output, create_nameless, take_attributes, write temporary, give_name temp, "
         "close temporary, replace, close output",
         true},
        {"no nameless file: fifteen names taken, the sixteenth free",
         {.ends = {{"create_nameless", refused}}, .taken = 15},
         "open_output, create_nameless, create_beside*16, take_attributes, write temporary, "
         "close temporary, replace, close output",
         true},
        {"sixteen names taken: written in place",
         {.ends = {{"create_nameless", refused}}, .taken = 16},
         "open_output, create_nameless, create_beside*16, truncate output, write output, "
         "close output",
         true},
        {"a nameless file whose data failed: no named one tried",
         {.ends = {{"create_nameless", failed}}},
         "open_output, create_nameless, close output",
         false},
        {"a named file whose data failed: nothing removed",
         {.ends = {{"create_nameless", refused}, {"create_beside", failed}}},
         "open_output, create_nameless, create_beside, close output",
         false},
        {"a place that refuses a named file: written in place",
         {.ends = {{"create_nameless", refused}, {"create_beside", refused}}},
         "open_output, create_nameless, create_beside, truncate output, write output, "
         "close output",
         true},
        {"attributes refused: the temporary removed, the output written in place",
         {.ends = {{"create_nameless", refused}, {"take_attributes", refused}}},
         "open_output, create_nameless, create_beside, take_attributes, close temporary, "
         "remove temp, truncate output, write output, close output",
         true},
        {"attributes whose data failed",
         {.ends = {{"take_attributes", failed}}},
         "open_output, create_nameless, take_attributes, close temporary, close output",
         false},
        {"the temporary file's write failed",
         {.ends = {{"create_nameless", refused}, {"write temporary", failed}}},
         "open_output, create_nameless, create_beside, take_attributes, write temporary, "
         "close temporary, remove temp, close output",
         false},
        {"naming refused: written in place",
         {.ends = {{"give_name temp", refused}}},
         "open_output, create_nameless, take_attributes, write temporary, give_name temp, "
         "close temporary, truncate output, write output, close output",
         true},
        {"naming whose data failed",
         {.ends = {{"give_name temp", failed}}},
         "open_output, create_nameless, take_attributes, write temporary, give_name temp, "
         "close temporary, close output",
         false},
        {"the temporary file's close failed: closed once, then removed",
         {.ends = {{"create_nameless", refused}, {"close temporary", failed}}},
         "open_output, create_nameless, create_beside, take_attributes, write temporary, "
         "close temporary, remove temp, close output",
         false},
        {"a rename refused: the temporary removed, the output written in place",
         {.ends = {{"create_nameless", refused}, {"replace", refused}}},
         "open_output, create_nameless, create_beside, take_attributes, write temporary, "
         "close temporary, replace, remove temp, truncate output, write output, close output",
         true},
        {"a rename whose data failed",
         {.ends = {{"replace", failed}}},
         "open_output, create_nameless, take_attributes, write temporary, give_name temp, "
         "close temporary, replace, remove temp, close output",
         false},
        {"an output a rename would lose: written in place",
         {.replaceable = false},
         "open_output, truncate output, write output, close output",
         true},
        {"a device or FIFO: written in place, not truncated",
         {.regular = false, .replaceable = false},
         "open_output, write output, close output",
         true},
        {"a new output no rename can make: opened as the shell would",
         {.exists = false, .replaceable = false},
         "open_output, open, write new output, close new output",
         true},
        {"truncating in place failed",
         {.replaceable = false, .ends = {{"truncate output", failed}}},
         "open_output, truncate output, close output",
         false},
        {"the write in place failed at its close",
         {.replaceable = false, .ends = {{"close output", failed}}},
         "open_output, truncate output, write output, close output",
         false},
        {"the output could not be opened",
         {.ends = {{"open_output", failed}}},
         "open_output",
         false},
    };
#if defined(_WIN32)
    const native_char* const path = L"out.rom";
#else
    const native_char* const path = "out.rom";
#endif
    const std::byte bytes[3]{};
    for (const Row& row : rows) {
        Script run = row.script;
        script = &run;
        const bool written = write_whole_file(path, bytes);
        script = nullptr;
        EXPECT_EQ(written, row.written) << row.what;
        EXPECT_EQ(joined(run.calls), row.calls) << row.what;
    }
}

}  // namespace
}  // namespace platform

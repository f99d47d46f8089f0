// The decisions of file.cpp against scripted primitives, on every build:
// each row says how the primitives end and which calls must follow, in
// order, and what the run reports. A close is named by what it closes
// (the folder's is left out); "x*N" is N calls of x in a row.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "primitives.hpp"

namespace platform {
namespace {

struct Script {
    std::vector<std::pair<std::string, Outcome>> ends;  // how a call ends where not done
    int taken = 0;                                      // the names found taken before a free one
    bool exists = true;                                 // the output exists and is open
    bool regular = true;
    std::uint64_t links = 1;
    bool owner = true;   // its owner and group can be given
    bool folder = true;  // a folder it lies in is found
    bool takes = true;   // that folder takes a new file
    bool leads = true;   // the output's name there leads to the file opened
    bool mount_point = false;
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

Outcome ends(const std::string& call) {
    script->calls.push_back(call);
    for (const auto& [named, outcome] : script->ends) {
        if (named == call) return outcome;
    }
    return Outcome::done;
}

bool succeeds(const std::string& call) { return ends(call) == Outcome::done; }

Outcome unless_taken(const std::string& call) {
    if (script->taken == 0) return ends(call);
    --script->taken;
    script->calls.push_back(call);
    return Outcome::name_taken;
}

}  // namespace

bool open_path(const native_char*, OpenMode, File& file) {
    if (!succeeds("open")) return false;
    file = File(new_output_descriptor);
    return true;
}

Outcome open_output(const native_char* path, Output& output) {
    output.path = path;
    const Outcome outcome = ends("open_output");
    if (outcome != Outcome::done) return outcome;
    if (script->exists) output.existing = File(output_descriptor);
    output.regular = script->exists && script->regular;
    output.links = script->links;
    output.owner_can_be_given = script->owner;
    return outcome;
}

Outcome find_folder(Output& output) {
    const Outcome outcome = ends("find_folder");
    if (outcome == Outcome::done && script->folder) {
        output.target = output.path;
        output.folder = File(folder_descriptor);
    }
    return outcome;
}

// Each check gives its fact, which the decisions read only where it ended done.
Outcome folder_takes_new_file(const Output& output, bool& takes) {
    takes = output.folder.is_open() && script->takes;
    return ends("takes");
}

Outcome name_leads_to_file(const Output&, bool& leads) {
    leads = script->leads;
    return ends("leads");
}

Outcome is_mount_point(const Output&, bool& mount_point) {
    mount_point = script->mount_point;
    return ends("mount");
}

Outcome create_nameless(const Output&, Temporary& temporary) {
    const Outcome outcome = ends("create_nameless");
    if (outcome == Outcome::done) temporary.file = File(temporary_descriptor);
    return outcome;
}

Outcome create_beside(const Output&, const NativePath&, Temporary& temporary) {
    const Outcome outcome = unless_taken("create_beside");
    if (outcome == Outcome::done) temporary.file = File(temporary_descriptor);
    return outcome;
}

Outcome give_name(const Output& output, const Temporary&, const NativePath& name) {
    return unless_taken(std::string("give_name").append(name_role(output, name)));
}

std::uint64_t name_seed() { return 0; }

Outcome copy_output_attributes(const Output&, const Temporary&) { return ends("copy_attributes"); }

Outcome replace_output(Output&, Temporary& temporary) {
    const Outcome outcome = ends("replace");
    if (outcome == Outcome::done) temporary.name.clear();
    return outcome;
}

void remove_temporary(const Output& output, const Temporary& temporary) {
    script->calls.push_back(std::string("remove").append(name_role(output, temporary.name)));
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
    std::string what;
    Script script;
    std::string calls;
    bool written;
};

constexpr Outcome taken = Outcome::name_taken;
constexpr Outcome refused = Outcome::refused;
constexpr Outcome failed = Outcome::failed;

TEST(Decisions, FollowFromHowEachStepEnds) {
    const std::string checked = "open_output, find_folder, takes, leads, mount, ";
    const std::string in_place = "truncate output, write output, close output";
    const Row rows[] = {
        {"a new output, named by its own name once complete",
         {.exists = false},
         "open_output, find_folder, takes, create_nameless, copy_attributes, write temporary, "
         "give_name target, close temporary",
         true},
        {"a new output whose name another process took meanwhile",
         {.ends = {{"give_name target", taken}}, .exists = false},
         "open_output, find_folder, takes, create_nameless, copy_attributes, write temporary, "
         "give_name target, give_name temp, close temporary, replace",
         true},
        {"an existing output, replaced",
         {},
         checked + "create_nameless, copy_attributes, write temporary, give_name temp, "
                   "close temporary, replace, close output",
         true},
        {"no nameless file: fifteen names taken, the sixteenth free",
         {.ends = {{"create_nameless", refused}}, .taken = 15},
         checked + "create_nameless, create_beside*16, copy_attributes, write temporary, "
                   "close temporary, replace, close output",
         true},
        {"sixteen names taken: written in place",
         {.ends = {{"create_nameless", refused}}, .taken = 16},
         checked + "create_nameless, create_beside*16, " + in_place,
         true},
        {"a nameless file that failed: no named one tried",
         {.ends = {{"create_nameless", failed}}},
         checked + "create_nameless, close output",
         false},
        {"a named file that failed: nothing removed",
         {.ends = {{"create_nameless", refused}, {"create_beside", failed}}},
         checked + "create_nameless, create_beside, close output",
         false},
        {"a place that refuses a named file: written in place",
         {.ends = {{"create_nameless", refused}, {"create_beside", refused}}},
         checked + "create_nameless, create_beside, " + in_place,
         true},
        {"attributes refused: the temporary removed, the output written in place",
         {.ends = {{"create_nameless", refused}, {"copy_attributes", refused}}},
         checked +
             "create_nameless, create_beside, copy_attributes, close temporary, "
             "remove temp, " +
             in_place,
         true},
        {"attributes that failed",
         {.ends = {{"copy_attributes", failed}}},
         checked + "create_nameless, copy_attributes, close temporary, close output",
         false},
        {"the temporary file's write failed",
         {.ends = {{"create_nameless", refused}, {"write temporary", failed}}},
         checked + "create_nameless, create_beside, copy_attributes, write temporary, "
                   "close temporary, remove temp, close output",
         false},
        {"naming refused: written in place",
         {.ends = {{"give_name temp", refused}}},
         checked +
             "create_nameless, copy_attributes, write temporary, give_name temp, "
             "close temporary, " +
             in_place,
         true},
        {"naming that failed",
         {.ends = {{"give_name temp", failed}}},
         checked + "create_nameless, copy_attributes, write temporary, give_name temp, "
                   "close temporary, close output",
         false},
        {"the temporary file's close failed: closed once, then removed",
         {.ends = {{"create_nameless", refused}, {"close temporary", failed}}},
         checked + "create_nameless, create_beside, copy_attributes, write temporary, "
                   "close temporary, remove temp, close output",
         false},
        {"a rename refused: the temporary removed, the output written in place",
         {.ends = {{"create_nameless", refused}, {"replace", refused}}},
         checked +
             "create_nameless, create_beside, copy_attributes, write temporary, "
             "close temporary, replace, remove temp, " +
             in_place,
         true},
        {"a rename that failed",
         {.ends = {{"replace", failed}}},
         checked + "create_nameless, copy_attributes, write temporary, give_name temp, "
                   "close temporary, replace, remove temp, close output",
         false},
        {"two links: written in place", {.links = 2}, "open_output, " + in_place, true},
        {"another user's file: written in place",
         {.owner = false},
         "open_output, " + in_place,
         true},
        {"a device or FIFO: written in place, not truncated",
         {.regular = false},
         "open_output, write output, close output",
         true},
        {"a mount point: written in place", {.mount_point = true}, checked + in_place, true},
        {"the name leads elsewhere: written in place", {.leads = false}, checked + in_place, true},
        {"an append-only folder: written in place",
         {.takes = false},
         "open_output, find_folder, takes, " + in_place,
         true},
        {"a new output in no folder that can be told: opened as the shell would",
         {.exists = false, .folder = false},
         "open_output, find_folder, takes, open, write new output, close new output",
         true},
        {"truncating in place failed",
         {.ends = {{"truncate output", failed}}, .links = 2},
         "open_output, truncate output, close output",
         false},
        {"the write in place failed at its close",
         {.ends = {{"close output", failed}}, .links = 2},
         "open_output, " + in_place,
         false},
    };
    // The output's open refused or failing (the run fails, as the shell's
    // would), then each check refused (written in place) and failing (left
    // as it was).
    std::vector<Row> check_rows;
    for (const Outcome outcome : {refused, failed}) {
        check_rows.push_back(
            {"open_output", {.ends = {{"open_output", outcome}}}, "open_output", false});
    }
    std::string before = "open_output, ";
    for (const char* call : {"find_folder", "takes", "leads", "mount"}) {
        before.append(call).append(", ");
        check_rows.push_back(
            {std::string(call) + " refused", {.ends = {{call, refused}}}, before + in_place, true});
        check_rows.push_back({std::string(call) + " failed",
                              {.ends = {{call, failed}}},
                              before + "close output",
                              false});
    }
#if defined(_WIN32)
    const native_char* const path = L"out.rom";
#else
    const native_char* const path = "out.rom";
#endif
    const std::byte bytes[3]{};
    std::vector<const Row*> all;
    for (const Row& row : rows) all.push_back(&row);
    for (const Row& row : check_rows) all.push_back(&row);
    for (const Row* const each : all) {
        const Row& row = *each;
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

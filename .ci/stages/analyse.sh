#!/usr/bin/env bash
# static analysis: clang-tidy (.clang-tidy) and cppcheck over the programs, the platform layer and the tests, shellcheck over the scripts; any finding fails
# needs: clang clang-tidy cppcheck libgtest-dev shellcheck
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

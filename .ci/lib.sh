# What more than one stage uses. Sourced by each stage, from the top of the
# checkout.
set -euo pipefail

fail() { echo "$*"; exit 1; }

# The programs of a Linux build folder: static, of the processor given as
# file(1) describes it.
check_programs() {  # build folder, file(1) description
    local program
    for program in dimblank hexburn dimpatch; do
        file "$1/$program/$program" | grep -Eq "$2.*(statically|static-pie) linked" ||
            fail "$1/$program/$program is not a static $2"
    done
    echo "static executables: $2"
}

# No error and no warning but those rpmlint.toml waives, each with its reason.
lint_rpm() {  # .rpm files
    local report
    report=$(rpmlint -c rpmlint.toml "$@" 2>&1) || fail "$report"
    grep -q " 0 errors, 0 warnings" <<<"$report" || fail "$report"
    echo "rpmlint: no error, no warning: ${*##*/}"
}

# Nothing at all, pedantic and informational tags included.
lint_deb() {  # .deb file
    local tags
    tags=$(lintian -I --pedantic "$1" 2>/dev/null)
    [[ -z $tags ]] || fail "lintian -I --pedantic ${1##*/}: $tags"
    echo "lintian -I --pedantic: no tag: ${1##*/}"
}

# The packages again from another clone, at another path, under another
# umask and time zone, compiled afresh (no compiler cache): the same bytes.
rebuild() {  # preset, package files to compare
    local preset=$1 other=build/rebuilt/another/path file
    shift
    rm -rf build/rebuilt
    git clone -q . "$other"
    (cd "$other" && umask 002 && export TZ=Pacific/Kiritimati CCACHE_DISABLE=1 &&
        cmake --preset "$preset" -DDIMTOOLS_TESTS=OFF >/dev/null &&
        cmake --build --preset "$preset" -j 2 >/dev/null &&
        cpack --preset "$preset" >/dev/null) ||
        fail "rebuilding the $preset packages failed"
    for file in "$@"; do
        cmp "$file" "$other/build/packages/${file##*/}" || fail "$file differs when rebuilt"
    done
    echo "rebuilt bit for bit: ${*##*/}"
}

# The packages of a Linux preset: their sums, lint, a rebuild.
check_linux_packages() {  # preset, Debian architecture, archive name's suffix, rpm architecture
    local packages=(build/packages/dimtools_*_"$2".deb build/packages/dimtools-*-Linux"$3".tar.gz
                    build/packages/dimtools-*-1."$4".rpm)
    ls "${packages[@]}"
    local names=("${packages[@]##*/}")
    (cd build/packages && sha256sum -c "${names[@]/%/.sha256}")
    lint_deb build/packages/dimtools_*_"$2".deb
    dpkg-deb -f build/packages/dimtools_*_"$2".deb Architecture Built-Using
    lint_rpm build/packages/dimtools-*-1."$4".rpm
    rebuild "$1" "${packages[@]}"
}

# shellcheck shell=bash
# What more than one stage uses. Sourced by each stage, from the top of the
# checkout.
set -euo pipefail

fail() { echo "$*"; exit 1; }

# The programs of a Linux build folder: static and of the processor given
# as file(1) describes it, and hardened: the GOT inside the segment made
# read-only after relocation (GNU_RELRO), no executable stack, and, where
# the C library can (static-pie), position-independent (type DYN, no
# interpreter) and resolved at start (BIND_NOW). Debian 12's armhf and
# s390x C libraries have no static-pie start file (rcrt1.o): their programs
# are static at a fixed address, which has no dynamic section to mark.
check_programs() {  # build folder, file(1) description, static-pie or static
    local link=${3:-static-pie}
    local program path header segments sections dynamic relro relro_size got got_size
    for program in dimblank hexburn dimpatch; do
        # Each tool's output whole, then searched: grep -q on a pipe would
        # end the writer early, which pipefail counts as a failure.
        path=$1/$program/$program
        header=$(file "$path")
        segments=$(readelf -lW "$path")
        sections=$(readelf -SW "$path")
        dynamic=$(readelf -hdW "$path")
        if [[ $link == static-pie ]]; then
            grep -Eq "$2.*static-pie linked" <<<"$header" || fail "$path is not a static-pie $2"
            grep -Eq 'Type: +DYN' <<<"$dynamic" || fail "$path: not position-independent (type DYN)"
            grep -Eq 'BIND_NOW|Flags:.* NOW' <<<"$dynamic" || fail "$path: no BIND_NOW"
        else
            grep -Eq "$2.*statically linked" <<<"$header" || fail "$path is not a static $2"
        fi
        ! grep -q INTERP <<<"$segments" || fail "$path: has an interpreter, so is not static"
        grep -Eq 'GNU_STACK( +[^ ]+){5} +RW ' <<<"$segments" ||
            fail "$path: the stack is executable, or GNU_STACK is missing"
        # The GOT's first and last byte inside GNU_RELRO's addresses.
        relro="" got=""
        read -r relro relro_size < <(awk '$1 == "GNU_RELRO" { print $3, $6 }' <<<"$segments") || true
        read -r got got_size < <(
            sed -n 's/^.*\] \.got  *[A-Z]*  *\([0-9a-f]*\) [0-9a-f]* \([0-9a-f]*\) .*$/\1 \2/p' <<<"$sections") || true
        if ! [[ -n $relro && -n $got ]] ||
            ! ((16#$got >= relro && 16#$got + 16#$got_size <= relro + relro_size)); then
            fail "$path: no GNU_RELRO segment covering the GOT"
        fi
    done
    if [[ $link == static-pie ]]; then
        echo "static-pie executables, BIND_NOW, GOT in GNU_RELRO, no executable stack: $2"
    else
        echo "static executables at a fixed address, GOT in GNU_RELRO, no executable stack: $2"
    fi
}

# A toolchain path that docs or an earlier release name still configures.
configures_with() {  # toolchain file, further cmake arguments
    local folder
    folder=build/toolchain-$(basename "$1" .cmake)
    mkdir -p build
    cmake -S . -B "$folder" -DCMAKE_TOOLCHAIN_FILE="$PWD/$1" -DDIMTOOLS_TESTS=OFF "${@:2}" \
        >"$folder.log" 2>&1 || { tail -n 20 "$folder.log"; fail "$1 does not configure"; }
    echo "$1 configures"
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
    local tags status=0
    tags=$(lintian -I --pedantic "$1" 2>/dev/null) || status=$?
    [[ -z $tags && $status == 0 ]] || fail "lintian -I --pedantic ${1##*/} (status $status): $tags"
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

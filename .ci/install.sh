# shellcheck shell=bash
# The packages of the chosen stages, installed once before the first: each
# stage's "# needs:" line, and its "# needs where 32-bit programs start:"
# line for the i386 packages that only such a host can use. A package that
# cannot be had ends the run only where no other path exists: an index that
# cannot be fetched does not, and the i386 packages fall back to the 64-bit
# path.
export DEBIAN_FRONTEND=noninteractive

# Installed, or a command of that name already on PATH (npm comes with the
# node.js of some systems, which conflicts with Debian's npm package).
present() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed" || command -v "$1" >/dev/null
}

update_indexes() {
    apt-get update -qq ||
        echo "apt-get update could not fetch every index (above); going on with the indexes it has"
}

# Whether this host starts a 32-bit x86 process at all: a 91-byte static
# i386 program that exits with status 0. Some kernels answer
# "Exec format error".
starts_32_bit_programs() {
    [[ $(uname -m) == x86_64 ]] || return 1
    local program
    program=$(mktemp)
    base64 -d >"$program" <<<'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhbAAAAWwAAAAUAAAAAEAAAMdsxwEDNgA=='
    chmod +x "$program"
    local status=0
    "$program" 2>/dev/null || status=$?
    rm -f "$program"
    return "$status"
}

install_packages() {  # stage names
    local needs=(cmake g++ git ccache) needs_32_bit=() missing=() package stage
    for stage in "$@"; do
        read -ra found <<<"$(sed -n 's/^# needs: //p' ".ci/stages/$stage.sh")"
        needs+=("${found[@]}")
        read -ra found <<<"$(sed -n 's/^# needs where 32-bit programs start: //p' ".ci/stages/$stage.sh")"
        needs_32_bit+=("${found[@]}")
    done
    for package in "${needs[@]}"; do
        present "$package" || missing+=("$package")
    done
    if ((${#missing[@]})); then
        echo "installing ${missing[*]}"
        update_indexes
        apt-get install -y -qq "${missing[@]}" >/dev/null
    fi

    missing=()
    for package in "${needs_32_bit[@]}"; do
        present "$package" || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    if ! starts_32_bit_programs; then
        echo "this host starts no 32-bit program: ${missing[*]} not installed, the 64-bit path is taken"
        return 0
    fi
    local added=""
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        added=yes
    fi
    update_indexes
    if ! apt-get install -y -qq "${missing[@]}" >/dev/null; then
        echo "${missing[*]} could not be installed (the i386 index or package is missing): the 64-bit path is taken"
        [[ -z $added ]] || dpkg --remove-architecture i386 || true
    fi
}

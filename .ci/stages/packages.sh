#!/usr/bin/env bash
# the x86-64 packages: sums, lint, rebuilt bit for bit, installed into scratch roots; the examples against an install
# needs: file lintian rpm rpmlint zip unzip make man-db
source .ci/lib.sh
rm -rf build/packages
cmake --workflow --preset package
check_linux_packages release amd64 "" x86_64

# The examples against an installed prefix, moved after the install: the
# CMake package must hold no absolute path, and the Makefile takes the
# tools from PATH.
cmake_example() {  # prefix, build folder
    rm -rf "$2"
    cmake -S examples/disk -B "$2" -DCMAKE_PREFIX_PATH="$1" >/dev/null
    cmake --build "$2" >/dev/null
    cmp "$2/game.img" examples/disk/expected.img
}
rm -rf build/prefix build/moved
cmake --install build/release --prefix build/prefix >/dev/null
mv build/prefix build/moved
cmake_example "$PWD/build/moved" build/example-prefix
echo "the CMake example builds its disk from a moved install prefix, byte for byte"
make_example() {  # folder of the tools
    (PATH="$1:$PATH" && make -C examples/make clean >/dev/null && make -C examples/make >/dev/null &&
        cmp examples/make/game.img examples/disk/expected.img &&
        make -C examples/make -q) || fail "the Makefile example did not build its disk, or not once"
    make -C examples/make clean >/dev/null
}
make_example "$PWD/build/moved/bin"
echo "the Makefile example builds its disk with the installed tools on PATH, byte for byte, and a second make does nothing"

# The .deb into a root of its own, with a dpkg database and log of its own,
# so that the host's packages stay as they were.
root=$PWD/build/deb-root
rm -rf "$root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
touch "$root/var/lib/dpkg/status"
deb_root=(dpkg --root="$root" --log="$root/var/log/dpkg.log")
"${deb_root[@]}" --force-script-chrootless -i build/packages/dimtools_*_amd64.deb >/dev/null
cmake_example "$root/usr" build/example-deb
blank=$root/blank.img
"$root/usr/bin/dimblank" "$blank"
[[ $(stat -c %s "$blank") == 737280 ]] || fail "dimblank from the .deb wrote the wrong size"
version=$(sed -n 's/^project(dimtools VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ $("$root/usr/bin/dimpatch" --version) == "dimpatch $version" ]] ||
    fail "dimpatch from the .deb tells another version"
"$root/usr/bin/hexburn" samples/prog.hex "$blank.rom"
"$root/usr/bin/dimpatch" "$blank" "$blank.rom" -sector 1
MANPATH=$root/usr/share/man man -w dimpatch >/dev/null
rm -f "$blank" "$blank.rom"
"${deb_root[@]}" -r dimtools >/dev/null
[[ -z $(find "$root" -path "$root/var" -prune -o -type f -print) ]] || fail "the .deb left files behind"
echo "the .deb installs into a scratch root, its programs and the CMake example run from it, and it removes cleanly"

# The .rpm into a root of its own, with a database of its own.
root=$PWD/build/rpm-root
rm -rf "$root"
mkdir -p "$root"
rpm --root "$root" --initdb
rpm --root "$root" -i build/packages/dimtools-*.x86_64.rpm 2>/dev/null
"$root/usr/bin/dimblank" "$root/blank.img"
[[ $(stat -c %s "$root/blank.img") == 737280 ]] || fail "dimblank from the .rpm wrote the wrong size"
rpm --root "$root" -q dimtools
echo "the .rpm installs into a scratch root and its programs run from there"

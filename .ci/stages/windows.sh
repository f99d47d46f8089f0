#!/usr/bin/env bash
# Windows, 32-bit and 64-bit: cross builds with mingw-w64, the suite under Wine, the .zip
# needs: g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 file zip unzip
# needs where 32-bit programs start: wine32:i386
source .ci/lib.sh
export WINEDEBUG=-all
# A Wine prefix of the run's own, whatever HOME is, and no Wine server left
# behind.
export WINEPREFIX="$PWD/build/wineprefix"
mkdir -p build
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
# The suite runs on the 32-bit build where 32-bit Wine starts, else on the
# 64-bit build under 64-bit Wine. DIMTOOLS_WINDOWS_64=1 takes that path on
# any host.
if [[ ${DIMTOOLS_WINDOWS_64:-0} == 1 ]]; then
    windows_tests=windows64
    echo "Windows tests: the 64-bit build under 64-bit Wine (forced by DIMTOOLS_WINDOWS_64=1)"
elif answer=$("$wine32" --version 2>&1); then
    windows_tests=windows
    echo "Windows tests: the 32-bit build under 32-bit Wine ($answer runs here)"
else
    windows_tests=windows64
    echo "Windows tests: the 64-bit build under 64-bit Wine (32-bit Wine does not run here: $answer)"
fi
wine=$wine32
[[ $windows_tests == windows ]] || wine=$wine64
"$wine" wineboot --init || fail "wineboot failed"

# A console program of the kind given, with its manifest, its resources and
# its hardening: a random base, no-execute data, a high-entropy random base
# on 64-bit, and the stack protector's runtime linked in.
check_executable() {  # path, file(1) description
    grep -q "$2" <<<"$(file "$1")" || fail "$1 is not a $2"
    local characteristics property
    characteristics=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n '/^DllCharacteristics/,/^SizeOf/p')
    for property in DYNAMIC_BASE NX_COMPAT; do
        grep -qw "$property" <<<"$characteristics" || fail "$1: no $property"
    done
    if [[ $2 == PE32+* ]]; then
        grep -qw HIGH_ENTROPY_VA <<<"$characteristics" || fail "$1: no HIGH_ENTROPY_VA"
    fi
    grep -q '_stack_chk_fail$' <<<"$(x86_64-w64-mingw32-nm "$1")" || fail "$1: no stack protector"
    objdump -s -j .rsrc "$1" >/dev/null || fail "$1 has no resource section"
    grep -q 'level="asInvoker"' "$1" || fail "$1 has no asInvoker manifest"
    grep -q '<longPathAware[^>]*>true</longPathAware>' "$1" || fail "$1 is not long-path aware"
    [[ $(grep -ao '<supportedOS Id="{[0-9a-f-]*}"/>' "$1" | sort -u | wc -l) == 4 ]] ||
        fail "$1 does not name Windows 7, 8, 8.1 and 10/11"
}
# The build whose suite does not run here is built without it.
if [[ $windows_tests == windows ]]; then
    cmake --workflow --preset windows
    cmake --preset windows64 -DDIMTOOLS_TESTS=OFF >/dev/null
    cmake --build --preset windows64
else
    cmake --preset windows -DDIMTOOLS_TESTS=OFF >/dev/null
    cmake --build --preset windows
    cmake --workflow --preset windows64
    echo "The 32-bit programs were built and checked, but not run in this run"
fi
for program in dimblank hexburn dimpatch; do
    check_executable "build/windows64/$program/$program.exe" "PE32+ executable (console) x86-64"
    check_executable "build/windows/$program/$program.exe" "PE32 executable (console) Intel 80386"
    grep -qx "$program.exe" <<<"$(strings -el "build/windows/$program/$program.exe")" ||
        fail "$program.exe has no version resource"
done
# The test programs make paths of more than 300 characters: on Windows
# itself only a long-path-aware process reaches them.
for test_program in build/"$windows_tests"/tests/*.exe; do
    grep -q '<longPathAware[^>]*>true</longPathAware>' "$test_program" ||
        fail "$test_program is not long-path aware"
done
status=0
"$wine" "build/$windows_tests/hexburn/hexburn.exe" /nonexistent/in.hex build/windows/out.rom || status=$?
[[ $status == 255 ]] || fail "hexburn.exe gave $status for a missing input, not 255"
echo "Windows executables: console programs with DYNAMIC_BASE, NX_COMPAT (HIGH_ENTROPY_VA on 64-bit), the stack protector, an asInvoker, long-path-aware manifest naming Windows 7 to 11, hexburn -1 seen as 255"
configures_with cmake/mingw-w64-i686.cmake
configures_with cmake/mingw-w64-x86_64.cmake
cpack --preset windows
ls build/packages/*.zip
(cd build/packages && sha256sum -c ./*.zip.sha256)
[[ $(grep -c '/bin/[a-z]*\.exe$' <<<"$(unzip -l build/packages/*.zip)") == 3 ]] ||
    fail "the .zip lacks a program"
# The .zip's texts are written for Windows: CR LF line ends, no Linux commands.
unzip -p build/packages/*.zip '*/README.txt' >build/zip-readme.txt
[[ $(file -b build/zip-readme.txt) == *"with CRLF line terminators" ]] ||
    fail "the .zip's README.txt is not CR LF text: $(file -b build/zip-readme.txt)"
! grep -qwE 'apt|sudo|dnf' build/zip-readme.txt || fail "the .zip's README.txt names Linux commands"
echo "the .zip's README.txt: Windows text"
rebuild windows build/packages/*.zip

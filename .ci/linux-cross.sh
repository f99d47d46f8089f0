#!/usr/bin/env bash
# Linux on another processor, named by its GNU triple: the cross build, the
# suite under qemu-user, the programs checked as check_programs does, and
# the packages where this release ships them for that processor. The
# stages arm64, armhf and s390x each call it with their triple.
source .ci/lib.sh
packages=()  # Debian architecture, archive name's suffix, rpm architecture
case ${1:-} in
aarch64-linux-gnu)
    preset=linux-arm64 described="ELF 64-bit LSB .*ARM aarch64" link=static-pie
    packages=(arm64 -aarch64 aarch64) ;;
arm-linux-gnueabihf)
    preset=linux-armhf described="ELF 32-bit LSB .*ARM, EABI5" link=static
    packages=(armhf -armhf armv7hl) ;;
s390x-linux-gnu)
    preset=linux-s390x described="ELF 64-bit MSB .*IBM S/390" link=static ;;
*) fail "no cross build for the triple '${1:-}'" ;;
esac
cmake --workflow --preset "$preset"
check_programs "build/$preset" "$described" "$link"
((${#packages[@]} == 0)) || check_linux_packages "$preset" "${packages[@]}"

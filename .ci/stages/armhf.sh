#!/usr/bin/env bash
# Linux on 32-bit ARM (armhf): cross build, the suite under qemu-arm, packages
# needs: g++-arm-linux-gnueabihf qemu-user libgtest-dev file lintian rpm rpmlint dpkg-dev
source .ci/lib.sh
cmake --workflow --preset linux-armhf
check_programs build/linux-armhf "ELF 32-bit LSB .*ARM, EABI5" static
check_linux_packages linux-armhf armhf -armhf armv7hl

#!/usr/bin/env bash
# Linux on arm64: cross build, the suite under qemu-aarch64, packages
# needs: g++-aarch64-linux-gnu qemu-user libgtest-dev file lintian rpm rpmlint dpkg-dev
source .ci/lib.sh
cmake --workflow --preset linux-arm64
check_programs build/linux-arm64 "ELF 64-bit LSB .*ARM aarch64"
check_linux_packages linux-arm64 arm64 -aarch64 aarch64

#!/usr/bin/env bash
# Linux on arm64: cross build, the suite under qemu-aarch64, packages, the toolchain paths of earlier releases
# needs: g++-aarch64-linux-gnu qemu-user libgtest-dev file lintian rpm rpmlint dpkg-dev
source .ci/lib.sh
bash .ci/linux-cross.sh aarch64-linux-gnu
configures_with cmake/aarch64-linux-gnu.cmake
configures_with cmake/linux-cross.cmake -DDIMTOOLS_CROSS_TRIPLE=aarch64-linux-gnu

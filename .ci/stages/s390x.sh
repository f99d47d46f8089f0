#!/usr/bin/env bash
# Linux on s390x (big-endian): cross build, the suite under qemu-s390x
# needs: g++-s390x-linux-gnu qemu-user libgtest-dev file
source .ci/lib.sh
cmake --workflow --preset linux-s390x
check_programs build/linux-s390x "ELF 64-bit MSB .*IBM S/390" static

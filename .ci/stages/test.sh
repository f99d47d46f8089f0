#!/usr/bin/env bash
# gcc release build and the whole suite: the README's test command
# needs: libgtest-dev srecord file strace e2fsprogs ntfs-3g
source .ci/lib.sh
cmake --workflow --preset test
check_programs build/release "ELF"

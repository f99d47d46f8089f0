#!/usr/bin/env bash
# the portable POSIX build and its suite (no O_TMPFILE, /proc, statfs magic, statx mount ID, inode-flag ioctls)
# needs: libgtest-dev file
source .ci/lib.sh
cmake --workflow --preset portable
check_programs build/portable "ELF"

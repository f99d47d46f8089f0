#!/usr/bin/env bash
# the portable POSIX build and its suite (no O_TMPFILE, O_PATH, /proc, statfs magic, statx, renameat2, inode-flag ioctls)
# needs: libgtest-dev file strace e2fsprogs ntfs-3g
source .ci/lib.sh
cmake --workflow --preset portable
check_programs build/portable "ELF"

#!/usr/bin/env bash
# gcc release build and the whole suite: the README's test command
# needs: libgtest-dev srecord file strace e2fsprogs ntfs-3g
source .ci/lib.sh
cmake --workflow --preset test
check_programs build/release "ELF"
# Again as root with only a default container's capabilities (no mount, no
# immutable flags): the rows that need more show as skipped, never failed.
setpriv --bounding-set -all,+chown,+dac_override,+fowner,+fsetid,+kill,+setgid,+setuid,+setpcap,+net_bind_service,+net_raw,+sys_chroot,+mknod,+audit_write,+setfcap \
    --inh-caps=-all -- ctest --test-dir build/release -j 2 --output-on-failure --no-tests=error

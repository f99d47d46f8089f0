#!/usr/bin/env bash
# Linux on s390x (big-endian): cross build, the suite under qemu-s390x
# needs: g++-s390x-linux-gnu qemu-user libgtest-dev file
exec bash .ci/linux-cross.sh s390x-linux-gnu

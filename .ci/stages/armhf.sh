#!/usr/bin/env bash
# Linux on 32-bit ARM (armhf): cross build, the suite under qemu-arm, packages
# needs: g++-arm-linux-gnueabihf qemu-user libgtest-dev file lintian rpm rpmlint dpkg-dev
exec bash .ci/linux-cross.sh arm-linux-gnueabihf

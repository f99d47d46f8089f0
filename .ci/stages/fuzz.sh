#!/usr/bin/env bash
# the libFuzzer targets, a bounded run of each
# needs: clang libclang-rt-14-dev
source .ci/lib.sh
bash fuzz/run.sh 30

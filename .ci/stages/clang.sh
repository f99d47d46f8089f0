#!/usr/bin/env bash
# clang release build and the whole suite
# needs: clang libgtest-dev
source .ci/lib.sh
CXX=clang++ cmake -S . -B build/clang -DCMAKE_BUILD_TYPE=Release -DDIMTOOLS_WERROR=ON >/dev/null
cmake --build build/clang -j 2
ctest --test-dir build/clang -j 2 --output-on-failure --no-tests=error

#!/usr/bin/env bash
# clang release build and the whole suite
# needs: clang libgtest-dev
source .ci/lib.sh
# Constant evaluation held to Microsoft's compiler's default budget, which
# clang's own (1,048,576 steps) would hide.
CXX=clang++ cmake -S . -B build/clang -DCMAKE_BUILD_TYPE=Release -DDIMTOOLS_WERROR=ON \
    -DCMAKE_CXX_FLAGS=-fconstexpr-steps=100000 >/dev/null
cmake --build build/clang -j 2
ctest --test-dir build/clang -j 2 --output-on-failure --no-tests=error

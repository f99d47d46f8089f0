#!/usr/bin/env bash
# gcc Debug build and the whole suite under AddressSanitizer and UBSan
# needs: libgtest-dev
source .ci/lib.sh
cmake --workflow --preset sanitize

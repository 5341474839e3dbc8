#!/bin/sh
# Install what is missing, build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and run every test: the headless tests, the
# game in a real X server, the asset generators, the start-up faults, the
# fuzzers, the leak check and a short benchmark run.
set -eu
cd "$(dirname "$0")"
./deps.sh test
cmake -S . -B build-test -DTUMBRIK_SANITIZE=ON >/dev/null
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j2

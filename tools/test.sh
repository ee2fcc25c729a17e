#!/bin/sh
# The whole test suite: a normal build running every test, and an
# AddressSanitizer + UndefinedBehaviorSanitizer build running the unit and
# system tests. Exits non-zero on any failure.
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DTAVORC_SANITIZE=ON >/dev/null
cmake --build build-san -j"$jobs"

status=0
ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs" || status=1
# Leaks are checked; tests/lsan.supp names the library leaks that cannot be fixed here.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-san --no-tests=error --output-on-failure -j"$jobs" -L 'unit|system' || status=1
exit $status

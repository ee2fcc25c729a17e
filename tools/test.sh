#!/bin/sh
# The whole test suite: a normal build running every test, an
# AddressSanitizer + UndefinedBehaviorSanitizer build running the unit and
# system tests, then the player's MIPS build running every test under
# qemu-mipsel-static. Exits non-zero on any failure.
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

# part NAME COMMAND...: runs one part and says how long it took.
part() {
  name=$1
  shift
  start=$(date +%s)
  "$@" && rc=0 || rc=$?
  echo "== $name: $(($(date +%s) - start)) s, exit status $rc"
  return $rc
}

part "layering of the includes" sh tools/check-layers.sh
part "one style of the sources" sh tools/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
part "host build" cmake --build build -j"$jobs"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DTAVORC_SANITIZE=ON >/dev/null
part "sanitizer build" cmake --build build-san -j"$jobs"

status=0
part "host tests" ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs" || status=1
part "sanitizer tests" sh tools/sanitizers.sh \
  ctest --test-dir build-san --no-tests=error --output-on-failure -j"$jobs" -L 'unit|system' || status=1

part "MIPS build" sh tools/build-mips.sh tests
part "MIPS tests under qemu-mipsel-static" ctest --test-dir build-mips --no-tests=error --output-on-failure -j"$jobs" || status=1
exit $status

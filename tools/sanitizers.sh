#!/bin/sh
# Runs a command with the settings of every run of the instrumented programs
# (the sanitizer build's tests, the fuzzers): a leak fails the run, but for
# those tests/lsan.supp names (inside libraries, not ours to fix), and an
# error stops the program with its stack.
# Usage: sh tools/sanitizers.sh COMMAND [ARGUMENT...]
top=$(cd "$(dirname "$0")/.." && pwd)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$@"

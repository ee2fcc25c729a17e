#!/bin/sh
# Holds the C and C++ sources (programs, tools, tests and benchmarks) to the
# one style that .clang-format states. Prints the files that differ and exits
# non-zero when there is one; `clang-format -i FILE` puts a file in style.
cd "$(dirname "$0")/.."
status=0
for file in $(git ls-files '*.c' '*.h' '*.cpp' 2>/dev/null); do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not in the style of .clang-format: $file"
    status=1
  fi
done
exit $status

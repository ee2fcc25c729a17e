#!/bin/sh
# Builds the libFuzzer programs with clang (in build-fuzz/, beside the gcc
# builds) and runs each until it has used SECONDS of CPU time, FUZZ_JOBS at a
# time (default 2), under nice. Corpora and crash inputs stay below
# build-fuzz/fuzz/<target>/. Prints per target: CPU seconds, executions,
# crashes. FUZZ_STOP_AT (a time such as 06:00) ends every run at that moment;
# FUZZ_MAX_WALL (seconds) bounds the wall time of each target.
# Usage: sh tools/fuzz.sh [SECONDS] [TARGET...]      (default 60 s, all targets)
set -e
cd "$(dirname "$0")/.."
build=build-fuzz

if [ "$1" = "--one" ]; then
  name=$2 seconds=$3 stop=$4
  wall_stop=$(($(date +%s) + ${FUZZ_MAX_WALL:-999999999}))
  [ "$wall_stop" -lt "$stop" ] && stop=$wall_stop
  dir=$build/fuzz/$name
  mkdir -p "$dir/corpus" "$dir/crashes"
  : >"$dir/log"
  # Slow inputs (slow-unit-*) are kept there too but are no crash.
  crashes() { ls "$dir/crashes" | grep -c -E '^(crash|leak|timeout|oom)-' || true; }
  cpu=0 runs=0
  # libFuzzer's limit is wall time; on shared cores a run gets less CPU, so
  # runs follow each other on the same corpus until the CPU time is reached.
  while [ "$cpu" -lt "$seconds" ] && [ "$(date +%s)" -lt "$stop" ]; do
    left=$((seconds - cpu)); until_stop=$((stop - $(date +%s)))
    [ "$until_stop" -lt "$left" ] && left=$until_stop
    [ "$left" -lt 1 ] && left=1
    sh tools/sanitizers.sh /usr/bin/time -f '%U %S' -o "$dir/cpu" nice -n 19 "$build/tests/fuzz/$name" \
      -max_total_time="$left" -timeout=20 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$dir/crashes/" \
      "$dir/corpus" "tests/fuzz/seeds/$name" >"$dir/pass.log" 2>&1 || true
    cat "$dir/pass.log" >>"$dir/log"
    used=$(tail -n 1 "$dir/cpu" | awk '{ printf "%d", $1 + $2 + 0.5 }')
    [ -n "$used" ] || used=0
    cpu=$((cpu + used))
    n=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$dir/pass.log" | awk '{ print $2 }')
    runs=$((runs + ${n:-0}))
    # libcue leaks each sheet it rejects (tests/lsan.supp), so a long run of
    # the cue target grows until the memory limit: an out-of-memory input that
    # passes alone is set aside and the run goes on.
    for oom in "$dir"/crashes/oom-*; do
      [ -e "$oom" ] || continue
      sh tools/sanitizers.sh "$build/tests/fuzz/$name" -close_fd_mask=3 "$oom" >/dev/null 2>&1 || continue
      mkdir -p "$dir/memory-growth" && mv "$oom" "$dir/memory-growth/"
    done
    [ "$(crashes)" -gt 0 ] && break
    [ "$used" -eq 0 ] && [ -z "$n" ] && break   # the program did not run at all
  done
  printf '%-18s CPU s %6d  executions %10d  crashes %d  corpus %d  memory-limit restarts %d\n' "$name" "$cpu" \
    "$runs" "$(crashes)" "$(ls "$dir/corpus" | wc -l)" "$(ls "$dir/memory-growth" 2>/dev/null | wc -l)"
  exit 0
fi

seconds=${1:-60}
[ $# -gt 0 ] && shift
sh tools/setup.sh
CC=clang CXX=clang++ cmake -S . -B $build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORC_TESTS=OFF -DTAVORC_FUZZERS=ON >/dev/null
cmake --build $build -j2 --target fuzzers >/dev/null
targets=${*:-"query_fuzzer body_fuzzer config_fuzzer dict_fuzzer vpath_fuzzer storage_fuzzer status_fuzzer cue_fuzzer
netfolders_fuzzer version_fuzzer package_fuzzer"}
stop=$(date -d "${FUZZ_STOP_AT:-tomorrow 23:59}" +%s)
# shellcheck disable=SC2086
printf '%s\n' $targets | xargs -P "${FUZZ_JOBS:-2}" -I{} sh tools/fuzz.sh --one {} "$seconds" "$stop"
echo "crash inputs: $build/fuzz/<target>/crashes/ (replay: $build/tests/fuzz/<target> FILE)"

#!/bin/sh
# file_list against a reference doing the same folder work, counted in
# instructions with callgrind: a folder of 2,000 files and 200 subfolders
# (each with a cover and a media file), listed afresh (targets: ratio <= 2)
# and answered from the cache against cat of the cache file (<= 1.5).
# The targets apply to the fully static tavorc, as built for the player (in
# BUILD_DIR-static, libraries from build-static-deps/); the dynamically linked
# one is counted beside it.
# Usage: sh bench/filelist_bench.sh [BUILD_DIR]   (default: build-bench)
# With TAVORC_BENCH_PROFILE=1 it also prints callgrind_annotate's top functions
# of the static runs.
set -e
cd "$(dirname "$0")/.."
top=$(pwd)
build=${1:-build-bench}
static=$build-static
sh tools/build-static-deps.sh "$top/build-static-deps" >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORC_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target tavorc reference_scan >/dev/null
cmake -S . -B "$static" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORC_TESTS=OFF \
  -DTAVORC_STATIC=ON -DTAVORC_STATIC_PREFIX="$top/build-static-deps" >/dev/null
cmake --build "$static" -j2 --target tavorc >/dev/null

root=$(mktemp -d /tmp/tavorc-bench-XXXXXX)
[ -n "$TAVORC_BENCH_KEEP" ] || trap 'rm -rf "$root"' EXIT
folder=$root/tmp/mnt/storage/sda1/Bench
for d in var/run etc sbin bin persistfs/orvex/etc tmp/www; do mkdir -p "$root/$d"; done
ln -s "$top/tests/support/standins/mount" "$root/bin/mount"
ln -s "$top/tests/support/standins/blkid" "$root/sbin/blkid"
echo "/dev/sda1 $root/tmp/mnt/storage/sda1 vfat rw 0 0" >"$root/etc/mtab"
echo '/dev/sda1: LABEL="BENCH" UUID="1234-ABCD" TYPE="vfat"' >"$root/etc/blkid.tab"
echo '{"version":"2","options":{"common":{"show_covers":"true"}}}' >"$root/persistfs/orvex/etc/tavorc.conf"
mkdir -p "$folder"
i=0
while [ $i -lt 200 ]; do
  mkdir "$folder/Album $i"
  : >"$folder/Album $i/cover.jpg"
  : >"$folder/Album $i/track $i.mkv"
  i=$((i + 1))
done
i=0
while [ $i -lt 2000 ]; do
  : >"$folder/File $i.mp3"
  i=$((i + 1))
done

valgrind=$(command -v valgrind)

# instructions "VARIABLE=VALUE ..." PROGRAM ARGS...: the instructions callgrind
# counted for one run of the program (not of the programs it starts), with only
# the given environment. A first run without callgrind warms up as steady use would.
instructions() {
  vars=$1
  shift
  env -i $vars "$@" 2>/dev/null >/dev/null || true
  env -i $vars "$valgrind" --tool=callgrind --callgrind-out-file="$root/callgrind.out" "$@" \
    2>"$root/valgrind.err" >/dev/null || true
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$root/valgrind.err" | head -n 1
}

query="cmd=file_list&ignore_cache=1&path=local/BENCH/Bench"
cgi="TAVORC_ROOT=$root PATH=$root/bin:/usr/bin:/bin HTTP_COOKIE=bid=BENCH"
# The first run publishes the cover links, as in steady use; the counted one finds them.
fresh_dynamic=$(instructions "$cgi QUERY_STRING=$query" "$top/$build/tavorc")
fresh=$(instructions "$cgi QUERY_STRING=$query" "$top/$static/tavorc")
cp "$root/callgrind.out" "$root/callgrind.fresh"
reference=$(instructions "" "$top/$build/bench/reference_scan" "$folder")
cache=$(ls "$root/tmp/tavorc.cache/"*)
query="cmd=file_list&path=local/BENCH/Bench"
cached_dynamic=$(instructions "$cgi QUERY_STRING=$query" "$top/$build/tavorc")
cached=$(instructions "$cgi QUERY_STRING=$query" "$top/$static/tavorc")
cp "$root/callgrind.out" "$root/callgrind.cached"
plain=$(instructions "" "$(command -v cat)" "$cache")
if [ -n "$TAVORC_BENCH_PROFILE" ]; then
  callgrind_annotate "$root/callgrind.fresh" | head -n 40
  callgrind_annotate "$root/callgrind.cached" | head -n 40
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "file_list afresh, static: $fresh instructions, reference_scan: $reference, ratio $(ratio "$fresh" "$reference") (target <= 2)"
echo "file_list afresh, dynamic: $fresh_dynamic instructions, ratio $(ratio "$fresh_dynamic" "$reference")"
echo "file_list cached, static: $cached instructions, cat: $plain, ratio $(ratio "$cached" "$plain") (target <= 1.5)"
echo "file_list cached, dynamic: $cached_dynamic instructions, ratio $(ratio "$cached_dynamic" "$plain")"

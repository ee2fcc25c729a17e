#!/bin/sh
# The benchmarks, in one run: each row measures tavorc and its floor (the
# least work the same job needs) side by side and prints their ratio.
# Instruction counts come from callgrind (the program's own instructions, not
# those of the programs it starts); rates through lighttpd on 127.0.0.1 are
# taken three times, the two sides interleaved, with the sandbox roots on the
# ordinary disk below the build folder. tavorc is the fully static program,
# as built for the player.
# Usage: sh bench/run.sh [BUILD_DIR]   (default: build-bench)
# TAVORC_BENCH_PROFILE=1 also prints callgrind's top functions of each row.
set -e
cd "$(dirname "$0")/.."
top=$(pwd)
out=${1:-build-bench}
case "$out" in /*) ;; *) out=$top/$out ;; esac
sh tools/setup.sh
sh tools/build-static-deps.sh "$top/build-static-deps" >/dev/null
cmake -S . -B "$out/static" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORC_TESTS=OFF \
  -DTAVORC_STATIC=ON -DTAVORC_STATIC_PREFIX="$top/build-static-deps" >/dev/null
cmake --build "$out/static" -j2 --target tavorc orvexbd playersim bench_floors >/dev/null
bin=$out/static
tavorc=$bin/tavorc
work=$out/data
rm -rf "$work"
mkdir -p "$work"
valgrind=$(command -v valgrind)

# ---- sandbox roots and their media

. "$top/bench/roots.sh"

# albums FOLDER COUNT TRACK: COUNT subfolders, each with a cover (the first
# bytes of a JPEG picture) and the track.
albums() {
  i=0
  while [ $i -lt "$2" ]; do
    mkdir -p "$1/Album $i"
    printf '\377\330\377\340\000\020JFIF\000' >"$1/Album $i/cover.jpg"
    : >"$1/Album $i/$3"
    i=$((i + 1))
  done
}

# library FOLDER: 50 albums of 99 files and one file with a cue sheet of 3
# tracks: 5,000 media files, 50 cue sheets.
library() {
  a=0
  while [ $a -lt 50 ]; do
    d="$1/Artist $a"
    files "$d" 99 'Song %02d.mp3'
    : >"$d/Live.flac"
    printf 'FILE "Live.flac" WAVE\n' >"$d/Live.cue"
    for t in 1 2 3; do
      printf '  TRACK 0%s AUDIO\n    TITLE "Part %s"\n    INDEX 01 0%s:00:00\n' $t $t $t >>"$d/Live.cue"
    done
    a=$((a + 1))
  done
}

root=$(make_root listing)
media=$root/tmp/mnt/storage/sda1
albums "$media/Mixed" 200 'track.mkv'
files "$media/Mixed" 2000 'File %d.mp3'
albums "$media/Albums" 1000 '01 Track.mp3'
files "$media/Many" 10000 'File %05d.mp3'
files "$media/Some" 1000 'File %05d.mp3'
library "$media/Library"

# ---- measuring

# instructions "VARIABLE=VALUE ..." PROGRAM ARGS...: what callgrind counts for
# one run, with only the given environment. A run before it warms up the
# caches and publishes the cover links, as in steady use.
instructions() {
  vars=$1
  shift
  env -i $vars "$@" >/dev/null 2>&1 || true
  env -i $vars "$valgrind" --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" \
    2>"$work/valgrind.err" >/dev/null || true
  [ -z "$TAVORC_BENCH_PROFILE" ] || callgrind_annotate "$work/callgrind.out" 2>/dev/null | sed -n '20,40p' >&2
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/valgrind.err" | head -n 1
}

cgi="TAVORC_ROOT=$root PATH=$root/bin:/usr/bin:/bin HTTP_COOKIE=bid=BENCH"
request() { instructions "$cgi QUERY_STRING=$1" "$tavorc"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'; }
mega() { awk -v a="$1" 'BEGIN { if (a >= 1000000) printf "%.2fM", a / 1e6; else printf "%.0fk", a / 1e3 }'; }

rows=$work/rows
: >"$rows"
# row WHAT TAVORC FLOOR-NAME FLOOR TARGET
row() { printf '| %s | %s | %s %s | %s | %s |\n' "$1" "$(mega "$2")" "$3" "$(mega "$4")" "$(ratio "$2" "$4")" "$5" >>"$rows"; }

uncached=$(request "cmd=file_list&ignore_cache=1&path=local/BENCH/Mixed")
row "file_list uncached, 2,000 files and 200 subfolders with covers" "$uncached" \
  "folder read + stat + subfolder scan" "$(instructions "" "$bin/bench/reference_scan" "$media/Mixed")" "<= 1.3"
uncached=$(request "cmd=file_list&ignore_cache=1&path=local/BENCH/Albums")
row "file_list uncached, 1,000 album subfolders with a cover and a track" "$uncached" \
  "the same" "$(instructions "" "$bin/bench/reference_scan" "$media/Albums")" "<= 1.5"
cached=$(request "cmd=file_list&path=local/BENCH/Mixed")
cache=$(grep -l "\"currDirPlayPath\":\"local/BENCH/Mixed\"" "$root/tmp/tavorc.cache/"* | head -n 1)
row "file_list cached" "$cached" "cat of the cache file" "$(instructions "" "$(command -v cat)" "$cache")" "<= 1.1"
appinfo=$(request "cmd=app_info")
cp "$root/persistfs/orvex/etc/tavorc.conf" "$work/floor.conf"
row "app_info" "$appinfo" "JSON read + styled rewrite + answer" \
  "$(instructions "" "$bin/bench/floor_appinfo" "$work/floor.conf")" "<= 1.2"

# The playlist of the library, built by "play" against the simulated player:
# only tavorc's own instructions count, the player's pauses cost none.
play=$(request "cmd=player&action=play&play_path=local/BENCH/Library")
row "play: playlist of 5,000 media files and 50 cue sheets" "$play" \
  "folder read + stat of the tree" "$(instructions "" "$bin/bench/floor_walk" "$media/Library")" "<= 1.5"

# ---- through the web server

port=$((20000 + $$ % 20000))
sh "$top/tools/webserver.sh" box "$root" "$port" "$work" "PATH=$root/bin:/usr/bin:/bin" >"$work/lighttpd.conf"
lighttpd -D -f "$work/lighttpd.conf" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sh "$top/tools/webserver.sh" wait "$port"

# rate PATH COUNT: requests a second over one keep-alive connection.
rate() {
  i=0
  : >"$work/curl.list"
  while [ $i -lt "$2" ]; do
    printf 'url = "http://127.0.0.1:%s%s"\noutput = /dev/null\n' "$port" "$1" >>"$work/curl.list"
    i=$((i + 1))
  done
  start=$(date +%s%N)
  curl -s -H 'Cookie: bid=BENCH' -K "$work/curl.list"
  end=$(date +%s%N)
  awk -v n="$2" -v ns=$((end - start)) 'BEGIN { printf "%.0f", n / (ns / 1e9) }'
}

# rates PATH FLOOR-PATH: "tavorc floor tavorc floor tavorc floor", interleaved.
rates() { for i in 1 2 3; do printf '%s %s ' "$(rate "$1" 200)" "$(rate "$2" 200)"; done; }
median3() { printf '%s\n%s\n%s\n' "$1" "$2" "$3" | sort -n | sed -n 2p; }

# rate_row WHAT PATH TARGET [FLOOR-QUERY]: the floor prints the same answer
# (app_info's, or the file FLOOR-QUERY names).
rate_row() {
  set -- "$1" "$2" "$3" $(rates "$2" "/cgi-bin/floor?${4:-}")
  t=$(median3 "$4" "$6" "$8")
  f=$(median3 "$5" "$7" "$9")
  printf '| %s | %s req/s (%s, %s, %s) | a C CGI printing the same answer %s req/s (%s, %s, %s) | %s | %s |\n' \
    "$1" "$t" "$4" "$6" "$8" "$f" "$5" "$7" "$9" "$(ratio "$t" "$f")" "$3" >>"$rows"
}
rate_row "app_info through lighttpd, one keep-alive client" "/cgi-bin/do2?cmd=app_info" ">= 0.6"
rate_row "cached file_list through lighttpd" "/cgi-bin/do2?cmd=file_list&path=local/BENCH/Mixed" ">= 0.8" "$cache"
kill $server 2>/dev/null || true

# ---- bounds of single requests, against the simulated player and its pauses

sh "$top/bench/bounds.sh" "$bin" "$work/bounds" jumps session >>"$rows"

# ---- memory, writes, sizes

# peak QUERY: the peak resident set in KiB.
peak() { env -i $cgi "QUERY_STRING=$1" /usr/bin/time -f %M "$tavorc" 2>&1 >/dev/null | tail -n 1; }
many=$(peak "cmd=file_list&ignore_cache=1&path=local/BENCH/Many")
some=$(peak "cmd=file_list&ignore_cache=1&path=local/BENCH/Some")
printf '| peak RSS, uncached file_list of 10,000 files | %s KiB (1,000 files: %s KiB) | | | < 4096 KiB, flat |\n' \
  "$many" "$some" >>"$rows"

# The poller's update while nothing plays must not rewrite the configuration.
idle=$(make_root idle)
conf=$idle/persistfs/orvex/etc/tavorc.conf
# The first run after boot may rewrite a file that another writer laid out.
env -i TAVORC_ROOT="$idle" PATH="$idle/bin:/usr/bin:/bin" "$tavorc" "cmd=history&action=update&log=0" >/dev/null
writes=0
for i in 1 2 3 4 5; do
  before=$(stat -c %i.%Y.%Z "$conf")
  sleep 1
  env -i TAVORC_ROOT="$idle" PATH="$idle/bin:/usr/bin:/bin" "$tavorc" "cmd=history&action=update&log=0" >/dev/null
  [ "$before" = "$(stat -c %i.%Y.%Z "$conf")" ] || writes=$((writes + 1))
done
printf '| history update by the poller while nothing plays | %s of 5 runs rewrote the configuration | | | 0 |\n' \
  "$writes" >>"$rows"

# The listing cache after 600 spellings of the 10,000-file folder: 1 to 25 "/"
# after "BENCH", 0 or 2 to 24 at the end; each spelling is a cache file of its own.
rm -rf "$root/tmp/tavorc.cache"
for b in $(seq 1 25); do
  for e in 0 $(seq 2 24); do
    env -i $cgi "QUERY_STRING=cmd=file_list&path=local/BENCH$(printf "%${b}s" | tr ' ' /)Many$(printf "%${e}s" | tr ' ' /)" \
      "$tavorc" >/dev/null
  done
done
printf '| listing cache after 600 spellings of the 10,000-file folder | %s KiB in %s files | | | <= 8192 KiB |\n' \
  "$(du -sk "$root/tmp/tavorc.cache" | cut -f1)" "$(ls "$root/tmp/tavorc.cache" | wc -l)" >>"$rows"

stripped() {
  if [ -f "$1" ]; then
    strip -o "$work/stripped" "$1" 2>/dev/null || cp "$1" "$work/stripped"
    stat -c %s "$work/stripped"
  else
    echo "(not built)"
  fi
}
printf '| stripped static programs, x86-64 | tavorc %s bytes, orvexbd %s bytes | | | |\n' \
  "$(stripped "$tavorc")" "$(stripped "$bin/orvexbd")" >>"$rows"
mips=${TAVORC_MIPS_BUILD:-$top/build-mips}
printf '| stripped static programs, mipsel (%s) | tavorc %s bytes, orvexbd %s bytes | | | |\n' \
  "$mips" "$(stripped "$mips/tavorc")" "$(stripped "$mips/orvexbd")" >>"$rows"

echo "| what | tavorc | floor | ratio | target |"
echo "|---|---|---|---|---|"
cat "$rows"

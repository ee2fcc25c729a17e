#!/bin/sh
# Power-cut campaign of the self-update. Release A (this build) is installed;
# then the update to release B (the same sources built with another version,
# and a page that differs) runs as "try_update" runs it, update.sh in the
# unpacked package in a process group of its own, and that whole group is
# killed with SIGKILL at a random moment within about one update's time. Then
# the box "boots": every program of the add-on ends, /tmp is emptied (the
# box's is RAM) and orvex.sh start runs as orvexbd runs it. After every boot
# do2 must answer app_info with A's or B's version, and do2 and every file
# below /rc/ must be that release's; anything else counts as broken. When B
# runs, A is installed again (not killed) for the next round.
# Prints the figures. Usage: sh tools/campaign-update.sh [ROUNDS]   (after a
# build of build/; B is built once in build-campaign-b)
set -e
cd "$(dirname "$0")/.."
top=$PWD
rounds=${1:-200}
for p in tavorc orvexbd semaphore; do
  [ -x "build/$p" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
done
launcher=
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
cmake -S . -B build-campaign-b -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVORC_TESTS=OFF -DTAVORC_VERSION_SUFFIX=-b \
  $launcher >/dev/null
cmake --build build-campaign-b -j2 --target tavorc orvexbd >/dev/null
root=$(mktemp -d /tmp/tavorc-updates-XXXXXX)
# At the end every process of the root ends, and the request semaphores of
# the root and of the health check's scratch root (a kill may leave that one
# behind) go with the root.
cleanup() {
  end_addon
  rm -rf "$root"
  for r in "$root" "$root/tmp/orvex_check"; do "$top/build/semaphore" "$r" --unlink; done
}
[ -n "$KEEP_ROOT" ] || trap cleanup EXIT INT TERM
work=$root/work
addon=$root/persistfs/orvex
mkdir -p "$work" "$root/var/run" "$root/tmp" "$addon/etc"

# The two packages, unpacked as try_update leaves them; B's page has a line
# of its own, so that a page of the one and a program of the other show.
minisign -G -W -p "$work/key.pub" -s "$work/key.key" >/dev/null
for r in a b; do
  build=build
  [ $r = b ] && build=build-campaign-b
  sh packaging/make-package.sh "$build" "$work/$r.zip" "$work/key.key" >/dev/null
  mkdir "$work/$r" && (cd "$work/$r" && unzip -q "../$r.zip")
done
echo "<!-- release B -->" >>"$work/b/www/rc/index.html"
version_a=$(cat "$work/a/version") version_b=$(cat "$work/b/version")

# end_addon: every process of this root ends, as at a power cut: the pollers
# (each leads a session of its own) with whatever they run. This script has
# no TAVORC_ROOT of its own; it hands it to each command.
end_addon() {
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "TAVORC_ROOT=$root" || continue
    kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}

boot() {
  end_addon
  rm -rf "$root/tmp" "$root/var/run"
  mkdir -p "$root/tmp" "$root/var/run"
  TAVORC_ROOT=$root sh "$addon/orvex.sh" start >/dev/null 2>&1 || true
}

install() {  # install a|b: the whole update, as try_update runs it
  (cd "$work/$1" && TAVORC_ROOT=$root sh update.sh) >/dev/null 2>&1
}

# alive PID: the process exists and has not ended.
alive() {
  [ -d "/proc/$1" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# files_of FOLDER: the files below it and their digests, by path.
files_of() {
  (cd "$1" 2>/dev/null && find . -type f | LC_ALL=C sort | xargs -r md5sum)
}

# running: A or B when do2, its answer and the page are all of that release;
# "broken" otherwise.
running() {
  answer=$(env -i TAVORC_ROOT="$root" PATH="$PATH" QUERY_STRING='cmd=app_info&log=0' REQUEST_METHOD=GET \
    "$root/tmp/www/cgi-bin/do2" 2>/dev/null </dev/null | tail -n 1)
  case $answer in
    *"\"version\":\"$version_a\""*) r=a R=A ;;
    *"\"version\":\"$version_b\""*) r=b R=B ;;
    *) echo broken; return ;;
  esac
  if cmp -s "$root/tmp/www/cgi-bin/do2" "$work/$r/bin/tavorc" &&
    [ "$(files_of "$root/tmp/www/rc")" = "$(files_of "$work/$r/www/rc")" ]; then
    echo $R
  else
    echo broken
  fi
}

now_us() { echo $(($(date +%s%N) / 1000)); }

install a
boot
[ "$(running)" = A ] || { echo "release A does not run after its installation" >&2; exit 1; }
start=$(now_us)
install b
took=$(($(now_us) - start))
boot
[ "$(running)" = B ] || { echo "release B does not run after its installation" >&2; exit 1; }
install a
boot
span=$((took * 6 / 5))
awk -v n="$rounds" -v span="$span" 'BEGIN { srand(20261210); for (i = 0; i < n; i++) printf "%.6f\n", rand() * span / 1e6 }' \
  >"$work/delays"

kills=0 finished=0 boots=0 a=0 b=0 broken=0
begin=$(date +%s)
while read -r delay; do
  # In a process group of its own (setsid), as try_update runs update.sh.
  (cd "$work/b" && exec env TAVORC_ROOT="$root" setsid sh update.sh) >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  if alive "$pid" && kill -9 "-$pid" 2>/dev/null; then kills=$((kills + 1)); else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  boot
  boots=$((boots + 1))
  case $(running) in
    A) a=$((a + 1)) ;;
    B) b=$((b + 1)); install a; boot ;;
    *)
      broken=$((broken + 1))
      echo "broken after a kill at ${delay}s: release file: $(tr '\n' ' ' <"$addon/release" 2>/dev/null)"
      [ -z "$KEEP_ROOT" ] || cp -a "$root" "$root-broken-$boots"
      install a
      boot
      ;;
  esac
done <"$work/delays"
echo "one update A -> B took $((took / 1000)) ms; kills within ${span} us: $kills killed while running, $finished had finished ($(($(date +%s) - begin)) s)"
echo "boots: $boots; after a boot A ran $a times, B $b times; broken: $broken"
echo "releases kept at the end: $(ls "$addon/releases" | tr '\n' ' ')"

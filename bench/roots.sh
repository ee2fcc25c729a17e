# Sandbox roots and media for the benchmarks; sourced by bench/run.sh and
# bench/bounds.sh, which set top (the source tree), work (a scratch folder),
# tavorc and bin (the folder of the built playersim, and of bench/ when built).

# make_root NAME: a sandbox root with one storage (local/BENCH), covers shown
# and the player simulator as the control program.
make_root() {
  r=$work/$1
  for d in var/run etc sbin bin persistfs/orvex/etc tmp/www/cgi-bin tmp/mnt/storage/sda1 var/playersim; do
    mkdir -p "$r/$d"
  done
  ln -s "$top/tests/support/standins/mount" "$r/bin/mount"
  ln -s "$top/tests/support/standins/blkid" "$r/sbin/blkid"
  ln -s "$tavorc" "$r/tmp/www/cgi-bin/do2"
  ln -s "$bin/bench/floor_cgi" "$r/tmp/www/cgi-bin/floor"
  ln -s "$bin/playersim" "$r/tmp/www/cgi-bin/do"
  echo "/dev/sda1 $r/tmp/mnt/storage/sda1 vfat rw 0 0" >"$r/etc/mtab"
  echo '/dev/sda1: LABEL="BENCH" UUID="1234-ABCD" TYPE="vfat"' >"$r/etc/blkid.tab"
  echo "storage_uuid://1234_abcd $r/tmp/mnt/storage/sda1" >"$r/var/playersim/media.conf"
  echo '{"version":"2","options":{"common":{"show_covers":"true"}}}' >"$r/persistfs/orvex/etc/tavorc.conf"
  echo "$r"
}

# files FOLDER COUNT PATTERN [CONTENT]: COUNT files named by the printf
# PATTERN, empty or holding CONTENT (for the simulator: "duration=N").
files() {
  mkdir -p "$1"
  (cd "$1" && i=0 && while [ $i -lt "$2" ]; do printf '%s' "${4:-}" >"$(printf "$3" $i)"; i=$((i + 1)); done)
}

# link_fan FOLDER LEVELS: two symbolic links at each level to the next one,
# LEVELS deep, and a song at the bottom: one real folder per level, but 2^LEVELS
# roads to the last.
link_fan() {
  mkdir -p "$1/.levels/$2"
  echo duration=100000 >"$1/.levels/$2/song.mp3"
  ln -s .levels/1 "$1/a"
  ln -s .levels/1 "$1/b"
  i=1
  while [ $i -lt "$2" ]; do
    mkdir -p "$1/.levels/$i"
    ln -s "../$((i + 1))" "$1/.levels/$i/a"
    ln -s "../$((i + 1))" "$1/.levels/$i/b"
    i=$((i + 1))
  done
}

# as_cgi ROOT QUERY: tavorc as the web server runs it in ROOT.
as_cgi() { env -i TAVORC_ROOT="$1" PATH="$1/bin:/usr/bin:/bin" HTTP_COOKIE=bid=BENCH QUERY_STRING="$2" "$tavorc"; }

# sim ROOT VERB ARGS...: the simulator's tool ("show", "set key=value ...").
sim() { "$bin/playersim" "$@"; }

# millis: a monotonic-enough wall clock for request times.
millis() { echo $(($(date +%s%N) / 1000000)); }

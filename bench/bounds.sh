#!/bin/sh
# What one request may cost at most, against the simulated player with its
# real pauses: far jumps in the playlist panel, the longest request of a
# session (the request lock is held that long), the peak memory of playing
# and refreshing huge folders, and the configuration writes of the history
# poller per hour of playback. Prints rows of the table of bench/run.sh.
# Usage: sh bench/bounds.sh BIN_DIR [WORK_DIR] [jumps] [session] [memory] [flash]
#   BIN_DIR holds tavorc and playersim (for example build/); no part named: all.
set -e
cd "$(dirname "$0")/.."
top=$(pwd)
bin=$(cd "${1:?usage: sh bench/bounds.sh BIN_DIR [WORK_DIR] [jumps] [session] [memory] [flash]}" && pwd)
tavorc=$bin/tavorc
work=${2:-$bin/bounds}
case "$work" in /*) ;; *) work=$top/$work ;; esac
shift $(($# < 2 ? $# : 2))
parts=${*:-jumps session memory flash}
. "$top/bench/roots.sh"
rm -rf "$work"
mkdir -p "$work"
media=storage/sda1

# jump ROOT FOLDER ROW: plays the folder, then times the move to ROW; prints
# the seconds, the keys pressed and the row the player then plays.
jump() {
  as_cgi "$1" "cmd=player&action=play&play_path=local/BENCH/$2" >/dev/null
  : >"$1/var/playersim/requests.log"
  start=$(millis)
  as_cgi "$1" "cmd=player&action=playlist_move&position=$3" >/dev/null
  end=$(millis)
  keys=$(grep -c ir_code "$1/var/playersim/requests.log" || true)
  printf '%s s, %s keys, plays row %s' "$(seconds $((end - start)))" "$keys" "$(sim "$1" show | sed -n 's/^row=//p')"
}

# seconds MILLIS
seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f", ms / 1000 }'; }

# session ROOT: plays, far and near jumps, seeks and refreshes one after
# another, as a person would; prints the longest request and its query.
session() {
  longest=0
  what=
  for q in "cmd=player&action=play&play_path=local/BENCH/Two+Thousand" "cmd=player&action=playlist" \
    "cmd=player&action=playlist_move&position=1500" "cmd=player&action=playlist_move&position=1503" \
    "cmd=player&action=addpos&value=600" "cmd=player&action=moveto&position=75" "cmd=player&action=playlist" \
    "cmd=history&action=update&log=0" "cmd=player&action=play&play_path=local/BENCH/Five+Thousand/File+2500.mp3" \
    "cmd=player&action=playlist_move&position=4999" "cmd=player&action=playlist_move&position=0" \
    "cmd=player&action=addpos&value=-30" "cmd=player&action=toggle_shuffle" "cmd=player&action=playlist" \
    "cmd=history&action=update&log=0" "cmd=history&action=get"; do
    start=$(millis)
    as_cgi "$1" "$q" >/dev/null
    took=$(($(millis) - start))
    [ $took -le $longest ] || { longest=$took; what=$q; }
  done
  printf '%s s (%s)' "$(seconds $longest)" "$what"
}

# peak ROOT QUERY: the peak resident set of one request in KiB.
peak() {
  env -i TAVORC_ROOT="$1" PATH="$1/bin:/usr/bin:/bin" HTTP_COOKIE=bid=BENCH QUERY_STRING="$2" \
    /usr/bin/time -f %M "$tavorc" 2>&1 >/dev/null | tail -n 1
}

# memory_of ROOT FOLDER: peak of the play, the "playlist" refresh and a poller
# pass, with the sizes of the refresh answer and of the playlist file. The
# peak of a process counts the programs it waited for: the simulator, which
# builds its own list of the folder, is started on the folder first and then
# stands aside for a script that answers its status as it was.
memory_of() {
  url="storage_uuid%3a%2f%2f1234_abcd%2f$2"
  env -i TAVORC_ROOT="$1" QUERY_STRING="cmd=start_playlist_playback&media_url=$url" "$bin/playersim" >/dev/null
  env -i TAVORC_ROOT="$1" QUERY_STRING="cmd=status" "$bin/playersim" >"$1/var/status.answer"
  control=$1/tmp/www/cgi-bin/do
  rm -f "$control"
  printf '#!/bin/sh\nexec cat "$TAVORC_ROOT/var/status.answer"\n' >"$control"
  chmod +x "$control"
  play=$(peak "$1" "cmd=player&action=play&play_path=local/BENCH/$2")
  refresh=$(peak "$1" "cmd=player&action=playlist")
  pass=$(peak "$1" "cmd=history&action=update&log=0")
  answer=$(as_cgi "$1" "cmd=player&action=playlist" | wc -c)
  rm -f "$control"
  ln -s "$bin/playersim" "$control"
  printf 'play %s KiB, refresh %s KiB, poller pass %s KiB; answer %s bytes, playlist file %s bytes' \
    "$play" "$refresh" "$pass" "$answer" "$(stat -c %s "$1/tmp/tavorc.pl")"
}

# flash ROOT FOLDER: an hour of playback as the poller sees it, 212 passes
# (3,600 s at one pass every 17 s) with the position 17 s further at each.
# They run one second apart, so the 10-minute interval of the history's
# writes is scaled by the same factor: 35 s. Prints the writes of the
# configuration.
flash() {
  conf=$1/persistfs/orvex/etc/tavorc.conf
  as_cgi "$1" "cmd=player&action=play&play_path=local/BENCH/$2" >/dev/null
  writes=0
  pass=0
  next=$(($(millis) + 1000))
  while [ $pass -lt 212 ]; do
    position=$(sim "$1" show | sed -n 's/^position=//p')
    sim "$1" set "position=$((position + 17))"
    before=$(stat -c %i.%Y.%Z "$conf")
    env -i TAVORC_ROOT="$1" PATH="$1/bin:/usr/bin:/bin" TAVORC_HISTORY_WRITE_LIMIT=35 \
      "$tavorc" "cmd=history&action=update&log=0" >/dev/null
    [ "$before" = "$(stat -c %i.%Y.%Z "$conf")" ] || writes=$((writes + 1))
    pass=$((pass + 1))
    while [ "$(millis)" -lt $next ]; do sleep 0.05; done
    next=$((next + 1000))
  done
  printf '%s writes, playing %s' "$writes" "$(sim "$1" show | sed -n 's/^url=.*\///p')"
}

# jump_root: 2,000 and 5,000 songs of 3 hours, so that none ends meanwhile.
jump_root() {
  [ -d "$work/jumps" ] && { echo "$work/jumps"; return; }
  root=$(make_root jumps)
  files "$root/tmp/mnt/$media/Two Thousand" 2000 'File %04d.mp3' 'duration=10800'
  files "$root/tmp/mnt/$media/Five Thousand" 5000 'File %04d.mp3' 'duration=10800'
  echo "$root"
}

for part in $parts; do
  case $part in
    jumps)
      root=$(jump_root)
      echo "| jump of the playlist panel, row 0 -> 1,500 of 2,000 | $(jump "$root" "Two+Thousand" 1500) | | | < 10 s |"
      echo "| jump of the playlist panel, row 0 -> 4,999 of 5,000 | $(jump "$root" "Five+Thousand" 4999) | | | < 10 s |"
      ;;
    session)
      echo "| longest request (lock held) of a session of 16: plays, jumps, seeks, refreshes | $(session "$(jump_root)") | | | < 10 s |"
      ;;
    memory)
      root=$(make_root memory)
      mkdir -p "$root/tmp/mnt/$media/Big List"
      : >"$root/tmp/mnt/$media/Big List/a.mp3"
      yes a.mp3 | head -n 300000 >"$root/tmp/mnt/$media/Big List/list.m3u"
      link_fan "$root/tmp/mnt/$media/Fan" 18
      echo "| peak RSS, folder with a 300,000-line playlist file | $(memory_of "$root" "Big+List") | | | flat |"
      echo "| peak RSS, link fan of 2 links a level, 18 levels | $(memory_of "$root" Fan) | | | flat |"
      ;;
    flash)
      root=$(make_root flash)
      files "$root/tmp/mnt/$media/Film" 1 'film.mkv' 'duration=5400'
      echo "| configuration writes in an hour of a film, scaled to 212 passes a second apart | $(flash "$root" Film) | | | <= 6 |"
      root=$(make_root album)
      files "$root/tmp/mnt/$media/Album" 16 'Song %02d.mp3' 'duration=240'
      echo "| the same, an album of 4-minute songs | $(flash "$root" Album) | | | one a song |"
      ;;
  esac
done

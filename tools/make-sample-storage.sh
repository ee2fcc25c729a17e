#!/bin/sh
# Lays out the demo's sample storages in a sandbox root: two partitions mounted
# below ROOT/tmp/mnt/storage/ (mtab and blkid.tab lines for the stand-ins),
# folders of tiny media files whose first line "duration=<seconds>" the player
# simulator reads, covers, a disc folder, a disc image, a cue sheet album and
# a playlist, and ROOT/var/playersim/media.conf so the simulator can play them.
# Running it again gives the same result.
set -e
root=${1:?usage: make-sample-storage.sh ROOT}
case "$root" in /*) ;; *) root=$(pwd)/$root ;; esac
storage=$root/tmp/mnt/storage

mkdir -p "$root/etc" "$root/var/playersim" "$storage"

# replace_lines FILE MARKER LINE: drops the lines containing MARKER, appends LINE.
replace_lines() {
  touch "$1"
  grep -vF -- "$2" "$1" >"$1.tmp" || true
  printf '%s\n' "$3" >>"$1.tmp"
  mv "$1.tmp" "$1"
}

# partition DEVICE FOLDER LABEL UUID
partition() {
  mkdir -p "$storage/$2"
  replace_lines "$root/etc/mtab" "$1 " "$1 $storage/$2 vfat rw,relatime 0 0"
  replace_lines "$root/etc/blkid.tab" "$1:" "$1: LABEL=\"$3\" UUID=\"$4\" TYPE=\"vfat\""
  url=storage_uuid://$(printf '%s' "$4" | tr 'A-Z-' 'a-z_')
  replace_lines "$root/var/playersim/media.conf" "$url " "$url $storage/$2"
}

# media PATH SECONDS: a tiny stand-in for a media file.
media() {
  mkdir -p "$(dirname "$1")"
  printf 'duration=%s\n' "$2" >"$1"
}

# A 1x1 PNG picture.
cover() {
  mkdir -p "$(dirname "$1")"
  printf 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=' | base64 -d >"$1"
}

partition /dev/sda1 sda1 DEMO 4A3B-1C2D
partition /dev/sdb1 sdb1 STICK 7E11-00F3

d=$storage/sda1
media "$d/Films/Big Buck Bunny (2008).mkv" 596
media "$d/Films/Elephants Dream.mp4" 654
cover "$d/Films/Sintel/cover.png"
media "$d/Films/Sintel/VIDEO_TS/VIDEO_TS.IFO" 888
media "$d/Films/Sintel/VIDEO_TS/VTS_01_1.VOB" 888
media "$d/Films/Tears of Steel.iso" 734
cover "$d/Music/Open Goldberg Variations/cover.png"
media "$d/Music/Open Goldberg Variations/01 Aria.flac" 185
media "$d/Music/Open Goldberg Variations/02 Variatio 1.flac" 112
media "$d/Music/Open Goldberg Variations/03 Variatio 2.flac" 98
cover "$d/Music/Live Concert/front.png"
media "$d/Music/Live Concert/Live Concert.flac" 900
cat >"$d/Music/Live Concert/Live Concert.cue" <<'CUE'
PERFORMER "Sample Band"
TITLE "Live Concert"
FILE "Live Concert.flac" WAVE
  TRACK 01 AUDIO
    TITLE "Opening"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Ballad"
    INDEX 01 05:00:00
  TRACK 03 AUDIO
    TITLE "Finale"
    INDEX 01 10:30:00
CUE
media "$d/Music/Русская музыка/Песня.mp3" 200
media "$d/Music/Русская музыка/Вальс.mp3" 180
printf '%s\n' "Open Goldberg Variations/01 Aria.flac" "Open Goldberg Variations/02 Variatio 1.flac" \
  >"$d/Music/Favourites.m3u"

d=$storage/sdb1
printf 'storage_name=Music Stick\n' >"$d/tavo_folder.txt"
cover "$d/Jazz/cover.png"
media "$d/Jazz/Blue Train.mp3" 643
media "$d/Jazz/Moment's Notice.mp3" 552
media "$d/Podcast 01.mp3" 1800

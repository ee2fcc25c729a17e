#!/bin/sh
# Usage: tools/add-sample-share.sh ROOT
# Gives a sandbox root a sample network share for the stand-in mount
# (tests/support/standins/mount, first in PATH): the SMB share \\nas\Media and
# the NFS export nas:/export/media both mount successfully and fill their
# mount directory with a copy of ROOT/srv/nas-media. The front end then adds
# the share with "network_source_add" (type=0, address=nas, path=Media,
# protocol=0) and browses "smb/<title>" with "file_list". The simulated player
# plays the share's media URLs from the same folder.
set -e
root=${1:?usage: $0 ROOT}
case "$root" in /*) ;; *) echo "$0: ROOT must be an absolute path" >&2; exit 2 ;; esac

media=$root/srv/nas-media
mkdir -p "$media/Films/Big Trip" "$media/Music/Quiet Hours" \
  "$root/etc" "$root/var" "$root/tmp/mnt/smb" "$root/tmp/mnt/nfs"
printf 'sample film\n' >"$media/Films/Big Trip/Big Trip (2019).mkv"
printf 'sample film\n' >"$media/Films/Harbour Lights.avi"
printf 'sample song\n' >"$media/Music/Quiet Hours/01 - Morning.mp3"
printf 'sample song\n' >"$media/Music/Quiet Hours/02 - Evening.mp3"
printf 'sample cover\n' >"$media/Music/Quiet Hours/folder.jpg"
[ -f "$root/etc/mtab" ] || : >"$root/etc/mtab"

# One line per share: source, action (ok|fail|hang), folder; tab-separated.
shares=$root/etc/shares
touch "$shares"
grep -v -F -e '\\nas\Media	' -e 'nas:/export/media	' "$shares" >"$shares.new" || true
printf '%s\tok\t%s\n' '\\nas\Media' "$media" 'nas:/export/media' "$media" >>"$shares.new"
mv "$shares.new" "$shares"

# The player reaches the share by its media URL, without the system's mount.
conf=$root/var/playersim/media.conf
mkdir -p "$root/var/playersim"
touch "$conf"
grep -v -F -e 'smb://nas/Media ' -e 'nfs-tcp://nas:/export/media: ' -e 'nfs-udp://nas:/export/media: ' "$conf" >"$conf.new" || true
printf '%s %s\n' 'smb://nas/Media' "$media" 'nfs-tcp://nas:/export/media:' "$media" 'nfs-udp://nas:/export/media:' "$media" >>"$conf.new"
mv "$conf.new" "$conf"

#!/bin/sh
# The demo: builds, lays out a sandbox root with a simulated player and a
# generated sample storage, and serves the remote-control API through lighttpd
# on http://127.0.0.1:8080 until Ctrl-C.
set -e
cd "$(dirname "$0")/.."
top=$(pwd)
sh tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target tavorc playersim

root=${TAVORC_DEMO_ROOT:-/tmp/tavorc-demo}
port=${TAVORC_DEMO_PORT:-8080}
export TAVORC_ROOT="$root"
for d in tmp/www/cgi-bin tmp/www/rc/i18n tmp/mnt/smb tmp/mnt/nfs var/run var/playersim persistfs/orvex/etc etc sbin bin mnt/config; do
  mkdir -p "$root/$d"
done

# The programs as the player lays them out: tavorc as "do2" (what the front end
# calls, and what the history poller runs), the player simulator as the
# player's control program "do", stand-ins for what only the box has (mount
# table, partitions).
rm -f "$root/tmp/www/cgi-bin/tavorc"
ln -sf "$top/build/tavorc" "$root/tmp/www/cgi-bin/do2"
ln -sf "$top/build/playersim" "$root/tmp/www/cgi-bin/do"
for p in mount umount; do ln -sf "$top/tests/support/standins/$p" "$root/bin/$p"; done
ln -sf "$top/tests/support/standins/blkid" "$root/sbin/blkid"
[ -f "$root/etc/mtab" ] || : >"$root/etc/mtab"
[ -f "$root/tmp/sysinfo.txt" ] || printf 'serial_number: DEMO-0001\n' >"$root/tmp/sysinfo.txt"
printf 'title = Films\nplay = Play\nback = Back\n' >"$root/tmp/www/rc/i18n/en"
printf 'title = Filme\nplay = Abspielen\nback = Zurück\n' >"$root/tmp/www/rc/i18n/de"
# The web front end as the add-on installs it (its dictionaries replace the
# generated "en"), and a stand-in update server in the same web server that
# offers version 0.8.0: a package whose update script only leaves a mark,
# signed with a throw-away key made here (outside the served folder), which
# the demo's tavorc takes as the maker's (TAVORC_UPDATE_PUBKEY).
cp -R www/rc/. "$root/tmp/www/rc/"
upd=$root/tmp/www/update-server
keys=$root/demo-key
rm -rf "$upd/pkg"
mkdir -p "$upd/pkg" "$keys"
[ -f "$keys/demo.key" ] || minisign -G -W -p "$keys/demo.pub" -s "$keys/demo.key" >/dev/null
printf '{"versionNumber":"0.8.0","notes":"demo update"}\n' >"$upd/last_version.php"
printf 'date >"$TAVORC_ROOT/tmp/demo-update-installed"\n' >"$upd/pkg/update.sh"
sh packaging/sign-package.sh "$upd/pkg" "$keys/demo.key"
(cd "$upd/pkg" && rm -f ../download.php && zip -q ../download.php ./*)
[ -x tools/make-sample-storage.sh ] && sh tools/make-sample-storage.sh "$root"
[ -x tools/add-sample-share.sh ] && sh tools/add-sample-share.sh "$root"
[ -x build/playersim ] && ./build/playersim "$root" set power=on >/dev/null 2>&1 || true

sh tools/webserver.sh box "$root" "$port" "$root" "TAVORC_UPDATE_URL=http://127.0.0.1:$port/update-server" \
  "TAVORC_UPDATE_PUBKEY=$(sed -n 2p "$keys/demo.pub")" >"$root/lighttpd.conf"

u="http://127.0.0.1:$port/cgi-bin/do2"
cat <<HELP

tavorc demo: sandbox root $root, serving on http://127.0.0.1:$port (Ctrl-C stops)
The remote in a browser: http://127.0.0.1:$port/rc/
Try:
  curl -i '$u?cmd=app_info'
  curl -s '$u?cmd=option&action=set&opt_name=show_covers&opt_value=true'
  curl -s '$u?cmd=option&action=list'
  curl -s '$u?cmd=dict&action=get&lng=de&callback=onDict'
  curl -s '$u?cmd=storage_list'
  curl -s '$u?cmd=file_list&path=local/DEMO'
  curl -s '$u?cmd=favorite&action=add&name=Films&path=local/DEMO/Films'
  curl -s '$u?cmd=network_source_add&title=NAS&type=0&protocol=0&address=nas&path=Media'
  curl -s '$u?cmd=network_source_list'
  curl -s '$u?cmd=file_list&path=smb/NAS'
  curl -s '$u?cmd=log'
Playing (the player simulator plays the sample files; the history poller runs):
  curl -s '$u?cmd=player&action=play&play_path=local/DEMO/Music/Open+Goldberg+Variations'
  curl -s '$u?cmd=player&action=playlist'                      (the playing playlist, "play" marks the row)
  curl -s '$u?cmd=player&action=playlist_move&position=2'      (jump to row 2)
  curl -s '$u?cmd=player&action=play&play_path=local/DEMO/Music/Live+Concert'
  curl -s '$u?cmd=player&action=playlist_move&position=2'      (the cue track "Ballad")
  curl -s '$u?cmd=player&action=addpos&value=60'               (seek one minute on)
  curl -s '$u?cmd=player&action=moveto&position=50'            (seek to the middle)
  curl -s '$u?cmd=player&action=addvol&value=10'
  curl -s '$u?cmd=player&action=play&play_path=smb/NAS/Music/Quiet+Hours'   (after network_source_add)
  curl -s '$u?cmd=history&action=get'
  curl -s '$u?cmd=history&action=resume_play&dir_play_path=local/DEMO/Music/Live+Concert&start_index=0&position=400'
  curl -s '$u?cmd=drml'
The simulated player (its control program, as the player's web server serves it):
  curl -s 'http://127.0.0.1:$port/cgi-bin/do?cmd=status'
  curl -s 'http://127.0.0.1:$port/cgi-bin/do?cmd=ir_code&ir_code=BC43BF00'   (power key)
  ./build/playersim $root show
HELP

# The history poller, as the add-on starts it at boot; it ends with the demo.
PATH="$root/bin:$PATH" "$top/build/tavorc" daemon
trap 'kill "$(cat "$root/var/run/tavorc-poller.pid" 2>/dev/null)" 2>/dev/null; exit 0' INT TERM EXIT
lighttpd -D -f "$root/lighttpd.conf"

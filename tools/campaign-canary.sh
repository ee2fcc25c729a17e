#!/bin/sh
# Secret campaign: an SMB password that nothing else contains (the canary) is
# given to the system as a stored share and as one of the player's network
# folders; then the shares are browsed (one mounts, one fails), a cover that
# is a symbolic link to the configuration lies in a listed folder, a folder of
# the share is played, and the other commands are asked. Then the attacks: a
# published cover is replaced on the share by a link to the configuration;
# cover options that would publish any file ("*", "txt", "html": a folder
# holds a "passwords.txt" and a "cover.html" with the canary) are set; and the
# requests of a foreign page (Origin, Referer or Sec-Fetch-Site of another
# site) and of a rebound host name are sent, each expected to be refused. The
# canary is then searched in every answer, every published cover and every
# file under the sandbox root, except the files that must hold it or belong to
# the player's firmware and the stand-in programs (listed in the output).
# Prints the hits and the attacks not refused.
# Usage: sh tools/campaign-canary.sh   (after a build; TAVORC_BIN names another
# tavorc; KEEP_ROOT=1 leaves the sandbox root for a look)
set -e
cd "$(dirname "$0")/.."
tavorc=${TAVORC_BIN:-$PWD/build/tavorc}
playersim=$PWD/build/playersim
semaphore=$PWD/build/semaphore
[ -x "$tavorc" ] && [ -x "$playersim" ] && [ -x "$semaphore" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
canary=Kq7-canary-$$-zX
root=$(mktemp -d /tmp/tavorc-canary-XXXXXX)
for d in tmp/www/cgi-bin tmp/www/rc/i18n var/run var/playersim persistfs/orvex/etc etc sbin mnt/config answers; do
  mkdir -p "$root/$d"
done
# A poller that a "daemon" not refused started is ended with the root.
cleanup() {
  poller=$(cat "$root/var/run/tavorc-poller.pid" 2>/dev/null || true)
  [ -z "$poller" ] || kill "$poller" 2>/dev/null || true
  [ -n "$KEEP_ROOT" ] || { rm -rf "$root"; "$semaphore" "$root" --unlink; }
}
trap cleanup EXIT INT TERM
ln -s "$tavorc" "$root/tmp/www/cgi-bin/do2"
ln -s "$playersim" "$root/tmp/www/cgi-bin/do"
cp tests/support/standins/blkid "$root/sbin/blkid"
sh tools/make-sample-storage.sh "$root" >/dev/null
sh tools/add-sample-share.sh "$root" >/dev/null
media=$root/srv/nas-media
mkdir -p "$media/Films/Trap"
printf 'film\n' >"$media/Films/Trap/a.mkv"
ln -s "$root/persistfs/orvex/etc/tavorc.conf" "$media/Films/Trap/cover.jpg"
printf '\377\330\377 picture\n' >"$media/Music/Quiet Hours/cover.jpg"
mkdir -p "$media/Films/Swap" "$media/Films/Secret"
printf 'film\n' >"$media/Films/Swap/b.mkv"
printf '\377\330\377 swap picture\n' >"$media/Films/Swap/cover.jpg"
printf 'film\n' >"$media/Films/Secret/c.mkv"
printf 'password: %s\n' "$canary" >"$media/Films/Secret/passwords.txt"
printf '<html>%s</html>\n' "$canary" >"$media/Films/Secret/cover.html"
# The player reaches the share by its media URL, which carries the credentials.
printf 'smb://guest:%s@nas/Media %s\n' "$canary" "$media" >>"$root/var/playersim/media.conf"
printf 'name.0 = Player NAS\ntype.0 = 0\nserver.0 = nas2\ndirectory.0 = Media\nuser.0 = admin\npassword.0 = %s\n' \
  "$canary" >"$root/mnt/config/network_folders.properties"
printf 'play = Play\n' >"$root/tmp/www/rc/i18n/en"
"$playersim" "$root" set power=on >/dev/null 2>&1 || true

n=0
cgi() {  # cgi QUERY [HEADER-VARIABLE=VALUE...]: one request; its answer is kept in answers/
  n=$((n + 1))
  query=$1
  shift
  env -i TAVORC_ROOT="$root" PATH="$PWD/tests/support/standins:$PATH" GATEWAY_INTERFACE=CGI/1.1 \
    TAVORC_UPDATE_URL=http://127.0.0.1:9 TAVORC_MOUNT_TIME_LIMIT=5 QUERY_STRING="$query" REQUEST_METHOD=GET \
    HTTP_COOKIE=bid=C "$@" "$tavorc" </dev/null >"$root/answers/$n" 2>/dev/null || true
}
attacks=0
refused=0
# attack EXPECTED QUERY [HEADER-VARIABLE=VALUE...]: refused when the answer holds EXPECTED.
attack() {
  expected=$1
  shift
  attacks=$((attacks + 1))
  cgi "$@"
  if grep -q -F "$expected" "$root/answers/$n"; then refused=$((refused + 1)); else echo "not refused: $*"; fi
}
cgi "cmd=network_source_add&title=Canary&type=0&protocol=0&address=nas&path=Media&user=guest&password=$canary"
for q in "cmd=option&action=set&opt_name=show_covers&opt_value=true" "cmd=storage_list" "cmd=network_source_list" \
  "cmd=file_list&path=smb/Canary" "cmd=file_list&path=smb/Canary/Films" "cmd=file_list&path=smb/Canary/Films" \
  "cmd=file_list&path=smb/Canary/Music" "cmd=file_list&path=smb/Player+NAS" \
  "cmd=player&action=play&play_path=smb/Canary/Music/Quiet+Hours" "cmd=player&action=playlist" \
  "cmd=history&action=update" "cmd=history&action=get" "cmd=player&action=play&play_path=smb/Canary/Films/Trap/a.mkv" \
  "cmd=favorite&action=add&name=N&path=smb/Canary/Films" "cmd=favorite&action=list" "cmd=option&action=list" \
  "cmd=app_info" "cmd=dict&action=get&lng=en&callback=cb" "cmd=check_new_version" "cmd=log"; do
  cgi "$q"
done

# The share's own server replaces the published cover by a link to the configuration.
swap=$(find "$root/tmp/mnt/smb" -path '*/Films/Swap/cover.jpg' | head -n 1)
cgi "cmd=file_list&path=smb/Canary/Films"
copy=$(sed -n 's|.*"cover":"\(/covers/[0-9A-F]*\.jpg\)","name":"Swap".*|\1|p' "$root/answers/$n")
ln -sf "$root/persistfs/orvex/etc/tavorc.conf" "$swap"
cgi "cmd=file_list&path=smb/Canary/Films&ignore_cache=1"
attacks=$((attacks + 1))
if [ -n "$copy" ] && grep -q 'swap picture' "$root/tmp/www$copy"; then refused=$((refused + 1)); else
  echo "not refused: the cover replaced by a link ($copy)"; fi
# Cover options that would publish any file.
for o in "cover_files_names&opt_value=*" "cover_files_exts&opt_value=*" "cover_files_exts&opt_value=txt" \
  "cover_files_exts&opt_value=html"; do
  attack "invalid option value" "cmd=option&action=set&opt_name=$o"
done
cgi "cmd=option&action=set&opt_name=cover_files_names&opt_value=passwords"  # a plain name: taken
cgi "cmd=file_list&path=smb/Canary/Films&ignore_cache=1"
# A foreign page's image (Referer suppressed), form and script, and a rebound host name.
box=HTTP_HOST=192.168.1.20
for q in "cmd=option&action=set&opt_name=cover_files_exts&opt_value=jpg" "cmd=network_source_del&key=0:nas:Media" \
  "cmd=player&action=addvol&value=100" "cmd=try_update" "restore" "daemon"; do
  attack "cross-site request refused" "$q" $box HTTP_SEC_FETCH_SITE=cross-site
  attack "cross-site request refused" "$q" $box HTTP_SEC_FETCH_SITE=same-site
  attack "cross-site request refused" "$q" $box HTTP_ORIGIN=http://localhost:8299
  attack "cross-site request refused" "$q" $box HTTP_REFERER=http://localhost:8299/
done
for q in "cmd=network_source_list" "cmd=log" "cmd=option&action=list"; do
  attack "cross-site request refused" "$q" HTTP_HOST=rebind.attacker.example
done

# Must hold it: the configuration (the password is needed to mount) and the
# player's network folders; the player's side: its media map, state and request
# log; the stand-in mount's log of its arguments.
exempt="persistfs/orvex/etc/tavorc.conf mnt/config/network_folders.properties var/playersim/media.conf
var/playersim/state var/playersim/requests.log var/standin.log"
hits=0
# The files planted on the share hold it too (Films/Secret, on the share and in its mount).
files=$(cd "$root" && find . -type f ! -path './answers/*' ! -path '*/Films/Secret/*' | wc -l)
list=$(cd "$root" && find . -type f ! -path './answers/*' ! -path '*/Films/Secret/*' -exec grep -l -F "$canary" {} + |
  sed 's|^\./||' || true)
for f in $list; do
  case " $(echo $exempt) " in *" $f "*) continue ;; esac
  echo "canary in $f"; hits=$((hits + 1))
done
for a in "$root"/answers/*; do
  if grep -q -F "$canary" "$a"; then echo "canary in the answer to request $(basename "$a")"; hits=$((hits + 1)); fi
done
covers=0
for c in "$root"/tmp/www/covers/*; do
  [ -e "$c" ] || continue
  covers=$((covers + 1))
  if grep -q -F "$canary" "$c"; then echo "canary in the published cover $(basename "$c")"; hits=$((hits + 1)); fi
done
echo "requests: $n; answers with status 200: $(grep -l '^Status: 200' "$root"/answers/* | wc -l); files searched: $files" \
  "(exempt: $(echo $exempt), and the share's Films/Secret); published covers: $covers"
echo "attacks: $attacks tried, $refused refused"
echo "canary hits: $hits"

#!/bin/sh
# Dead-server campaign, with the limits as built: (1) an SMB share whose mount
# never returns is browsed, (2) the version check asks an update server on
# 127.0.0.1 that takes the connection and never answers. One second after each
# such request another request ("option list") is sent; it waits for its turn.
# Prints how long each stalled request took, how long the other request was
# blocked, and the time of a request sent after both.
# Usage: sh tools/campaign-hang.sh   (after a build; TAVORC_BIN names another tavorc)
set -e
cd "$(dirname "$0")/.."
tavorc=${TAVORC_BIN:-$PWD/build/tavorc}
semaphore=$PWD/build/semaphore
[ -x "$tavorc" ] && [ -x "$semaphore" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
root=$(mktemp -d /tmp/tavorc-hang-XXXXXX)
for d in tmp/www/cgi-bin tmp/mnt/smb var/run persistfs/orvex/etc etc srv web/doc; do mkdir -p "$root/$d"; done
: >"$root/etc/mtab"
printf '\\\\nas\\Media\thang\t%s/srv\n' "$root" >"$root/etc/shares"
port=$((20000 + $$ % 20000))
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  for p in $(cat "$root"/web/silent.* 2>/dev/null); do kill "$p" 2>/dev/null; done
  rm -rf "$root"
  "$semaphore" "$root" --unlink
}
trap cleanup EXIT INT TERM

cgi() {  # cgi QUERY: one request with the CGI variables, the stand-in mount first in PATH
  env -i TAVORC_ROOT="$root" PATH="$PWD/tests/support/standins:$PATH" GATEWAY_INTERFACE=CGI/1.1 \
    TAVORC_UPDATE_URL="http://127.0.0.1:$port/silent.sh" QUERY_STRING="$1" REQUEST_METHOD=GET HTTP_COOKIE=bid=H \
    "$tavorc" </dev/null 2>/dev/null
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f s", ms / 1000 }'; }
body() { sed '1,/^\r\{0,1\}$/d' "$1" | tr -d '\n'; }

# stall NAME QUERY: the stalled request, and another one a second later.
stall() {
  t0=$(now_ms)
  (cgi "$2" >"$root/web/stalled"; echo $(($(now_ms) - t0)) >"$root/web/stalled.ms")&
  stalled=$!
  sleep 1
  t1=$(now_ms)
  cgi "cmd=option&action=list" >"$root/web/other"
  other=$(($(now_ms) - t1))
  wait "$stalled"
  t2=$(now_ms)
  cgi "cmd=option&action=list" >"$root/web/after"
  after=$(($(now_ms) - t2))
  echo "$1: stalled request answered after $(seconds "$(cat "$root/web/stalled.ms")") with \"$(body "$root/web/stalled")\";" \
    "a request sent 1 s later blocked $(seconds "$other") ($(head -n 1 "$root/web/other" | tr -d '\r'));" \
    "a request sent afterwards took $(seconds "$after") ($(head -n 1 "$root/web/after" | tr -d '\r'))"
}

cgi "cmd=network_source_add&title=Media&type=0&protocol=0&address=nas&path=Media" >/dev/null
stall "mount that hangs" "cmd=file_list&path=smb/Media"

# The update server: lighttpd takes the connection, and the script it runs
# for every URL below /silent.sh never answers.
printf 'echo $$ >"%s/web/silent.$$"\nexec sleep 3600\n' "$root" >"$root/web/doc/silent.sh"
sh tools/webserver.sh files "$root/web/doc" "$port" "$root/web" >"$root/web/lighttpd.conf"
lighttpd -D -f "$root/web/lighttpd.conf" &
server=$!
sh tools/webserver.sh wait "$port"
stall "update server that never answers" "cmd=check_new_version"
[ -n "$(ls "$root"/web/silent.* 2>/dev/null)" ] || echo "the update server saw no request" >&2
after=$("$semaphore" "$root")
echo "semaphore after: ${after##* }"

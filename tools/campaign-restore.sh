#!/bin/sh
# Concurrency campaign through a real lighttpd on 127.0.0.1: ROUNDS rounds of
# CLIENTS concurrent changing requests (option sets and favourite adds, each
# with a name of its own), while one client sends "restore" every 50 ms and a
# sampler reads the request semaphore (build/semaphore, which names it as
# tavorc does and fails when it does not exist). Prints the figures: requests
# answered, answered changes lost, unparsable configurations, highest
# semaphore value.
# Usage: sh tools/campaign-restore.sh [ROUNDS] [CLIENTS]   (after a build;
# TAVORC_BIN names another tavorc to try)
set -e
cd "$(dirname "$0")/.."
rounds=${1:-100}
clients=${2:-64}
tavorc=${TAVORC_BIN:-$PWD/build/tavorc}
semaphore=$PWD/build/semaphore
[ -x "$tavorc" ] && [ -x "$semaphore" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
root=$(mktemp -d /tmp/tavorc-campaign-XXXXXX)
for d in tmp/www/cgi-bin var/run persistfs/orvex/etc etc web; do mkdir -p "$root/$d"; done
: >"$root/etc/mtab"
ln -s "$tavorc" "$root/tmp/www/cgi-bin/do2"
port=$((20000 + $$ % 20000))
sh tools/webserver.sh box "$root" "$port" "$root/web" >"$root/web/lighttpd.conf"
lighttpd -D -f "$root/web/lighttpd.conf" &
server=$!
url="http://127.0.0.1:$port/cgi-bin/do2"
cleanup() {
  kill "$server" "$restorer" "$sampler" 2>/dev/null || true
  rm -rf "$root"
  "$semaphore" "$root" --unlink
}
trap cleanup EXIT INT TERM
sh tools/webserver.sh wait "$port"
# The first request makes the semaphore; the sampler watches it from then on.
curl -s -o /dev/null "$url?cmd=option&action=list"
"$semaphore" "$root" >/dev/null
"$semaphore" "$root" --highest >"$root/web/highest" &
sampler=$!
(while :; do curl -s -o /dev/null "$url?restore"; echo >>"$root/web/restores"; sleep 0.05; done) &
restorer=$!

for r in $(seq "$rounds"); do
  seq "$clients" | xargs -P "$clients" -I{} sh -c '
    n=r'"$r"'c{}
    if [ $(({} % 2)) -eq 0 ]; then q="cmd=option&action=set&opt_name=$n&opt_value=v"; else q="cmd=favorite&action=add&name=$n&path=local/USB/$n"; fi
    code=$(curl -s -o /dev/null --max-time 60 -w "%{http_code}" -b bid=C "'"$url"'?$q")
    echo "$code $n"' >>"$root/web/answers"
done
kill "$restorer" "$sampler"
wait "$sampler"
curl -s -o /dev/null "$url?restore"
conf="$root/persistfs/orvex/etc/tavorc.conf"
answered=$(grep -c '^200 ' "$root/web/answers" || true)
lost=0
for n in $(grep '^200 ' "$root/web/answers" | cut -d' ' -f2); do grep -q "\"$n\"" "$conf" || lost=$((lost + 1)); done
unparsable=0; [ -e "$conf.bad" ] && unparsable=1
echo "requests: $((rounds * clients)); answered 200: $answered; restores: $(wc -l <"$root/web/restores")"
echo "answered changes lost: $lost; unparsable configurations: $unparsable"
after=$("$semaphore" "$root")
echo "semaphore: highest $(cat "$root/web/highest"), after ${after##* }"

#!/bin/sh
# Power-cut campaign: KILLS changing requests (option sets, favourite adds and
# history updates in turn, each with a name of its own), each run as a CGI
# process and killed with SIGKILL at a random moment within about one request's
# time. After every kill the configuration must still load (no
# tavorc.conf.bad appears) and hold every change that had been answered; a
# semaphore left taken by the killed process is given back with "restore"
# (the semaphore is read with build/semaphore, which names it as tavorc does;
# the campaign stops when it does not exist). Prints the figures. Usage: sh tools/campaign-kill.sh [KILLS]   (after a build;
# TAVORC_BIN names another tavorc to try)
set -e
cd "$(dirname "$0")/.."
kills=${1:-1000}
tavorc=${TAVORC_BIN:-$PWD/build/tavorc}
playersim=$PWD/build/playersim
semaphore=$PWD/build/semaphore
[ -x "$tavorc" ] && [ -x "$playersim" ] && [ -x "$semaphore" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
root=$(mktemp -d /tmp/tavorc-kills-XXXXXX)
for d in tmp/www/cgi-bin var/run persistfs/orvex/etc etc work; do mkdir -p "$root/$d"; done
: >"$root/etc/mtab"
ln -s "$playersim" "$root/tmp/www/cgi-bin/do"
conf=$root/persistfs/orvex/etc/tavorc.conf
[ -n "$KEEP_ROOT" ] || trap 'rm -rf "$root"; "$semaphore" "$root" --unlink' EXIT INT TERM

cgi() {  # cgi QUERY: one request with only the CGI variables, answer on stdout
  env -i TAVORC_ROOT="$root" PATH="$PATH" GATEWAY_INTERFACE=CGI/1.1 QUERY_STRING="$1" REQUEST_METHOD=GET \
    HTTP_COOKIE=bid=K "$tavorc" </dev/null 2>/dev/null
}
query() {  # query N: the Nth changing request
  case $(($1 % 3)) in
    0) echo "cmd=option&action=set&opt_name=k$1&opt_value=v$1" ;;
    1) echo "cmd=favorite&action=add&name=f$1&path=local/USB/f$1" ;;
    *) echo "cmd=history&action=update&log=0" ;;
  esac
}
now_us() { echo $(($(date +%s%N) / 1000)); }

start=$(now_us)
for i in 1 2 3 4 5; do cgi "cmd=option&action=set&opt_name=w$i&opt_value=w" >/dev/null; done
span=$(( ($(now_us) - start) * 13 / 50 ))   # 1.3 times one request, in microseconds
awk -v n="$kills" -v span="$span" 'BEGIN { srand(20261209); for (i = 0; i < n; i++) printf "%.6f\n", rand() * span / 1e6 }' \
  >"$root/work/delays"

answered=0 restores=0 lost=0 unparsable=0 i=0
begin=$(date +%s)
while read -r delay; do
  # Started directly, not through cgi(): $! must be tavorc itself (env execs
  # it), or the kill would hit a subshell and leave the request running.
  out=$root/work/out.$i
  env -i TAVORC_ROOT="$root" PATH="$PATH" GATEWAY_INTERFACE=CGI/1.1 QUERY_STRING="$(query $i)" \
    REQUEST_METHOD=GET HTTP_COOKIE=bid=K "$tavorc" </dev/null >"$out" 2>/dev/null &
  pid=$!
  sleep "$delay"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if grep -qs '^{"message":"ok"}$' "$out"; then
    answered=$((answered + 1))
    case $((i % 3)) in 0) echo "k$i" >>"$root/work/must" ;; 1) echo "f$i" >>"$root/work/must" ;; esac
  fi
  v=$("$semaphore" "$root") || exit 1
  if [ "${v##* }" = 0 ]; then restores=$((restores + 1)); cgi restore >/dev/null; fi
  # The next request loads the configuration: a file it cannot use would be
  # kept as tavorc.conf.bad.
  cgi "cmd=option&action=list&log=0" >/dev/null
  [ -e "$conf.bad" ] && { unparsable=$((unparsable + 1)); rm -f "$conf.bad"; }
  [ -n "$KEEP_ROOT" ] || rm -f "$out"
  i=$((i + 1))
done <"$root/work/delays"
[ -e "$root/work/must" ] && for n in $(cat "$root/work/must"); do
  grep -q "\"$n\"" "$conf" || { lost=$((lost + 1)); echo "answered but lost: $n"; }
done
echo "requests killed: $kills within $span us each ($(($(date +%s) - begin)) s); answered before the kill: $answered; restores: $restores"
echo "answered changes lost: $lost; unparsable configurations: $unparsable; temporary files left: $(find "$root/persistfs" -name '*.tmp*' | wc -l)"

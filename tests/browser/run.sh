#!/bin/sh
# Runs the browser session in one viewport against a demo stack of its own:
# tools/demo.sh on a free port with a fresh sandbox root below OUT.
# usage: run.sh OUT phone|desktop
set -e
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=${1:?usage: run.sh OUT phone|desktop}
viewport=${2:?usage: run.sh OUT phone|desktop}
mkdir -p "$out"
out=$(cd "$out" && pwd)
root=$out/root
rm -rf "$root" "$out/screenshots"

# playwright-core (test tooling only), installed from the lock file when it is
# missing or older than that file; runs started together install it once.
(
  flock 9
  if [ ! -f "$here/node_modules/.package-lock.json" ] || [ "$here/package-lock.json" -nt "$here/node_modules/.package-lock.json" ]; then
    cd "$here" && npm ci --no-audit --no-fund --loglevel=error
  fi
) 9>"$here/.npm-ci.lock"
port=$(node -e "const s=require('net').createServer().listen(0,'127.0.0.1',()=>{console.log(s.address().port);s.close()})")

TAVORC_DEMO_PORT=$port TAVORC_DEMO_ROOT=$root setsid sh "$top/tools/demo.sh" >"$out/demo.log" 2>&1 </dev/null &
demo=$!
stop() {
  kill -TERM "-$demo" 2>/dev/null || true
  wait "$demo" 2>/dev/null || true
  poller=$(cat "$root/var/run/tavorc-poller.pid" 2>/dev/null || true)
  [ -n "$poller" ] && kill "$poller" 2>/dev/null || true
}
trap stop EXIT INT TERM

# The demo builds first; wait for the page.
i=0
until curl -sf -o /dev/null "http://127.0.0.1:$port/rc/"; do
  i=$((i + 1))
  if [ $i -gt 600 ] || ! kill -0 "$demo" 2>/dev/null; then
    echo "the demo stack did not come up:" >&2
    tail -20 "$out/demo.log" >&2
    exit 1
  fi
  sleep 0.2
done

cd "$here"
status=0
node session.mjs "http://127.0.0.1:$port/" "$root" "$top/build/playersim" "$out/screenshots" "$viewport" || status=$?
exit $status

#!/bin/sh
# The add-on's start script, installed as /persistfs/orvex/orvex.sh; orvexbd
# runs "orvex.sh start" once the add-on's storage is mounted after boot.
#   start    installs tavorc as the web server's /cgi-bin/do2 and the web front
#            end below /rc/ (the player's /tmp is empty after every boot), then
#            starts the history poller
#   stop     ends the history poller
#   restart  stop, then start
# TAVORC_ROOT, when set, goes in front of every fixed path, as in the programs.
root=${TAVORC_ROOT:-}
addon=$root/persistfs/orvex
www=$root/tmp/www
cgi=$www/cgi-bin
poller_pid_file=$root/var/run/tavorc-poller.pid

# install_cgi: a copy in /tmp, renamed into place, so that a do2 that runs
# meanwhile is never overwritten.
install_cgi() {
  mkdir -p "$cgi" &&
    cp "$addon/bin/tavorc" "$cgi/do2.new" &&
    chmod 755 "$cgi/do2.new" &&
    mv -f "$cgi/do2.new" "$cgi/do2"
}

install_front_end() {
  [ -d "$addon/www/rc" ] || return 0
  rm -rf "$www/rc.new" &&
    cp -R "$addon/www/rc" "$www/rc.new" &&
    rm -rf "$www/rc" &&
    mv "$www/rc.new" "$www/rc"
}

# start_poller: "daemon" returns at once and leaves a poller that runs
# already alone. Started from a request (an update), the script must not hand
# that request's CGI variables on: do2 would serve them instead of "daemon".
start_poller() {
  (
    unset QUERY_STRING REQUEST_METHOD CONTENT_LENGTH HTTP_COOKIE
    "$cgi/do2" daemon
  )
}

# running PID: true while the process exists and is not a zombie.
running() {
  [ -d "/proc/$1" ] || return 1
  ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# is_poller PID: the pid file may be stale and its number reused since.
is_poller() {
  case $(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) in
    *do2\ daemon*) return 0 ;;
  esac
  return 1
}

# stop_poller: ends the poller and waits (up to 10 s) until it has gone, so
# that a poller started right after finds its pid file free.
stop_poller() {
  pid=$(cat "$poller_pid_file" 2>/dev/null) || return 0
  case $pid in
    '' | *[!0-9]*) return 0 ;;
  esac
  running "$pid" && is_poller "$pid" || return 0
  kill "$pid" 2>/dev/null || return 0
  tries=0
  while running "$pid" && [ $tries -lt 100 ]; do
    sleep 0.1 2>/dev/null || sleep 1
    tries=$((tries + 1))
  done
  ! running "$pid"
}

case $1 in
  start) install_cgi && install_front_end && start_poller ;;
  stop) stop_poller ;;
  restart) stop_poller; install_cgi && install_front_end && start_poller ;;
  *)
    echo "usage: $0 start|stop|restart" >&2
    exit 2
    ;;
esac

#!/bin/sh
# The add-on's start script. Each release below /persistfs/orvex/releases/
# holds its own copy beside its programs and page; the copy at
# /persistfs/orvex/orvex.sh, which orvexbd runs once the add-on's storage is
# mounted after boot, hands every command to the current release's copy.
#   start     installs the release's tavorc as the web server's /cgi-bin/do2
#             and its web front end below /rc/ (the player's /tmp is empty
#             after every boot), then starts the history poller
#   stop      ends the history poller
#   restart   stop, then start
#   rollback  makes the previous release the current one again and starts it
# The file /persistfs/orvex/release names the current release on its first
# line and the previous one on its second; it is replaced in one rename.
# TAVORC_ROOT, when set, goes in front of every fixed path, as in the programs.
root=${TAVORC_ROOT:-}
addon=$root/persistfs/orvex
releases=$addon/releases
release_file=$addon/release
www=$root/tmp/www
cgi=$www/cgi-bin
poller_pid_file=$root/var/run/tavorc-poller.pid
here=$(cd "$(dirname "$0")" && pwd) || exit 1

# plain_name NAME: a release name is one plain folder name.
plain_name() {
  case $1 in
    '' | . | .. | */* | *[!A-Za-z0-9._+-]*) return 1 ;;
  esac
}

# read_releases: current and previous from the release file (empty when none).
read_releases() {
  current= previous=
  [ -f "$release_file" ] || return 0
  { read -r current; read -r previous; } <"$release_file"
  plain_name "$current" || current=
  plain_name "$previous" || previous=
}

# write_releases CURRENT PREVIOUS: the new file is flushed before the rename
# that makes it count, and the rename is flushed too.
write_releases() {
  printf '%s\n%s\n' "$1" "$2" >"$release_file.new" && sync &&
    mv -f "$release_file.new" "$release_file" && sync
}

# running PID: true while the process exists and is not a zombie.
running() {
  [ -d "/proc/$1" ] || return 1
  ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# pause_tenth: sleeps a tenth of a second and adds 1 to $tenths; a shell whose
# sleep takes no fractions sleeps a whole second and adds 10, so that waits
# counted in tenths keep their length.
pause_tenth() {
  if sleep 0.1 2>/dev/null; then
    tenths=$((tenths + 1))
  else
    sleep 1
    tenths=$((tenths + 10))
  fi
}

# install_by_rename FILE TARGET [sync]: FILE copied beside TARGET, made
# executable and renamed over it, so that a TARGET that runs meanwhile is
# never overwritten and whoever starts it finds the old or the new one whole.
# With "sync" (a file on the flash) the copy is flushed before the rename
# makes it count, and the rename is flushed too.
install_by_rename() {
  cp "$1" "$2.new" && chmod 755 "$2.new" || return 1
  [ "$3" != sync ] || sync
  mv -f "$2.new" "$2" || return 1
  [ "$3" != sync ] || sync
}

# update.sh reads the paths and functions above from its package's copy of
# this script (". orvex.sh" with orvex_functions_only set) and runs nothing
# below.
[ -z "${orvex_functions_only:-}" ] || return 0

# A release folder holds its version file; the copy at the add-on's top does
# not, and hands the command on.
if [ ! -f "$here/version" ]; then
  read_releases
  for name in "$current" "$previous"; do
    [ -n "$name" ] && [ -f "$releases/$name/orvex.sh" ] && exec sh "$releases/$name/orvex.sh" "$@"
  done
  echo "$0: no release installed in $releases" >&2
  exit 1
fi

# install_cgi: the release's tavorc as do2, in /tmp (RAM: nothing to flush).
install_cgi() { mkdir -p "$cgi" && install_by_rename "$here/bin/tavorc" "$cgi/do2"; }

# replace_link NEW NAME: the symbolic link NEW renamed over NAME. mv -T does
# it in one rename; a mv without -T would move NEW into the folder NAME
# points to, so there NAME goes first.
replace_link() {
  mv -T -f "$1" "$2" 2>/dev/null || { rm -f "$2" && mv -f "$1" "$2"; }
}

# install_front_end: /tmp/www/rc is a symbolic link to one of two copies,
# rc.a and rc.b. The page is copied beside the one in use and the link is
# switched to it, so the web server always finds a whole page. A real folder
# left there by an older start script is moved aside first. A release
# without a page leaves none of another release.
install_front_end() {
  if [ ! -d "$here/www/rc" ]; then
    rm -rf "$www/rc" "$www/rc.a" "$www/rc.b"
    return 0
  fi
  mkdir -p "$www" || return 1
  in_use=$(readlink "$www/rc" 2>/dev/null)
  copy=rc.a
  [ "$in_use" = rc.a ] && copy=rc.b
  rm -rf "${www:?}/$copy" "$www/rc.link" &&
    cp -R "$here/www/rc" "$www/$copy" &&
    ln -s "$copy" "$www/rc.link" || return 1
  if [ -d "$www/rc" ] && [ ! -L "$www/rc" ]; then
    rm -rf "$www/rc.old" && mv "$www/rc" "$www/rc.old" || return 1
  fi
  replace_link "$www/rc.link" "$www/rc" || return 1
  rm -rf "$www/rc.old"
  [ -n "$in_use" ] && [ "$in_use" != "$copy" ] && rm -rf "${www:?}/$in_use"
  return 0
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
  tenths=0
  while running "$pid" && [ $tenths -lt 100 ]; do
    pause_tenth
  done
  ! running "$pid"
}

start() { install_front_end && install_cgi && start_poller; }

# rollback: the previous release becomes the current one, the current one
# the previous, and the previous release starts.
rollback() {
  read_releases
  if [ -z "$previous" ] || [ "$previous" = "$current" ] || [ ! -f "$releases/$previous/version" ]; then
    echo "$0: there is no previous release to go back to" >&2
    return 1
  fi
  stop_poller
  write_releases "$previous" "$current" || return 1
  sh "$releases/$previous/orvex.sh" start
}

case $1 in
  start) start ;;
  stop) stop_poller ;;
  restart) stop_poller; start ;;
  rollback) rollback ;;
  *)
    echo "usage: $0 start|stop|restart|rollback" >&2
    exit 2
    ;;
esac

#!/bin/sh
# Installs the add-on from this unpacked package as a release of its own and
# switches to it whole. The self-update ("try_update") runs it in the folder
# it unpacked the package to, once the package's signature and files have
# been checked; a first installation runs it the same way by hand:
# sh update.sh
#
# 1. The package's programs, page and start script are copied into
#    /persistfs/orvex/releases/<version>/ and flushed to the flash (sync).
# 2. Health check: the new tavorc, installed as do2 in a scratch root that
#    holds a copy of the configuration, must answer app_info with its own
#    version. Its own root gives it a semaphore of its own (the request that
#    runs this update holds the add-on's) and keeps it off the add-on's files.
# 3. The history poller stops, the release file names the new release (and
#    the one that ran as the previous one) in one rename, and the new release
#    starts. If it does not start, the release file goes back and the release
#    that ran starts again.
# 4. Releases other than these two are removed.
# Any failure leaves the release that runs as it was, and exits non-zero with
# a message that names the step. An installation of the older layout
# (bin/ and www/ at the add-on's top) is first made a release of its own, so
# that it stays the way back. The configuration (etc/tavorc.conf) is the
# owner's and is never touched.
# TAVORC_ROOT, when set, goes in front of every fixed path, as in the programs.
package=$(cd "$(dirname "$0")" && pwd) || exit 1

fail() {
  echo "update.sh: $*" >&2
  exit 1
}

# The add-on's paths (root, addon, releases, release_file) and what both
# scripts do (release names, the release file, running processes, files
# installed by rename) come from the package's start script.
[ -f "$package/bin/tavorc" ] && [ -f "$package/orvex.sh" ] || fail "the package has no tavorc or no orvex.sh"
orvex_functions_only=1
. "$package/orvex.sh"
config=$addon/etc/tavorc.conf
check_root=$root/tmp/orvex_check
check_seconds=30

# within SECONDS COMMAND...: runs the command, killed when it takes longer.
within() {
  limit=$(($1 * 10))
  shift
  "$@" &
  pid=$!
  tenths=0
  while running "$pid"; do
    if [ $tenths -ge $limit ]; then
      kill -9 "$pid" 2>/dev/null
      break
    fi
    pause_tenth
  done
  wait "$pid"
}

# program_version TAVORC: the version that the program answers to app_info,
# run as the box runs it (do2 as a CGI program) in the scratch root.
program_version() {
  rm -rf "$check_root" &&
    mkdir -p "$check_root/tmp/www/cgi-bin" "$check_root/persistfs/orvex/etc" "$check_root/var/run" &&
    cp "$1" "$check_root/tmp/www/cgi-bin/do2" && chmod 755 "$check_root/tmp/www/cgi-bin/do2" || return 1
  [ ! -f "$config" ] || cp "$config" "$check_root/persistfs/orvex/etc/tavorc.conf"
  (
    unset CONTENT_LENGTH HTTP_COOKIE
    TAVORC_ROOT=$check_root QUERY_STRING=cmd=app_info REQUEST_METHOD=GET
    export TAVORC_ROOT QUERY_STRING REQUEST_METHOD
    within $check_seconds "$check_root/tmp/www/cgi-bin/do2" >"$check_root/answer" 2>/dev/null </dev/null
  )
  sed -n 's/.*"version":"\([^"]*\)".*/\1/p' "$check_root/answer" 2>/dev/null
  # The scratch root's semaphore, named as the program names it.
  command -v md5sum >/dev/null 2>&1 &&
    rm -f "/dev/shm/sem.tavoorvex-$(printf '%s' "$check_root" | md5sum | cut -c1-12 | tr a-f A-F)"
  rm -rf "$check_root"
}

# copy_release FROM_BIN FROM_WWW_RC START_SCRIPT VERSION FOLDER: a release
# folder made whole and flushed.
copy_release() {
  rm -rf "$5" && mkdir -p "$5/bin" &&
    cp "$1/tavorc" "$5/bin/tavorc" &&
    { [ ! -f "$1/orvexbd" ] || cp "$1/orvexbd" "$5/bin/orvexbd"; } &&
    { [ ! -d "$2" ] || { mkdir -p "$5/www" && cp -R "$2" "$5/www/rc"; }; } &&
    cp "$3" "$5/orvex.sh" &&
    printf '%s\n' "$4" >"$5/version" &&
    chmod 755 "$5/bin/"* "$5/orvex.sh" &&
    sync
}

# put_start_script: this package's start script at the add-on's top, where
# orvexbd runs it.
put_start_script() { install_by_rename "$package/orvex.sh" "$addon/orvex.sh" sync; }

# adopt_older_layout: an installation by an older package (its programs in
# bin/ at the add-on's top, no release file) becomes a release of its own,
# named by the version its tavorc answers.
adopt_older_layout() {
  [ ! -f "$release_file" ] && [ -f "$addon/bin/tavorc" ] || return 0
  old=$(program_version "$addon/bin/tavorc")
  plain_name "$old" || old=older-layout
  copy_release "$addon/bin" "$addon/www/rc" "$package/orvex.sh" "$old" "$releases/$old" &&
    write_releases "$old" "" && put_start_script ||
    fail "the installation in $addon cannot be made a release"
}

# start_again NAME: the release that ran before starts again.
start_again() {
  [ -n "$1" ] && sh "$releases/$1/orvex.sh" start
}

version=$(cat "$package/version" 2>/dev/null)
plain_name "$version" || fail "the package names no version"
mkdir -p "$releases" "$addon/etc" || fail "$releases cannot be made"
adopt_older_layout
read_releases

# The same version again gets a folder of its own beside the one that runs.
name=$version
n=1
while [ "$name" = "$current" ] || [ "$name" = "$previous" ]; do
  n=$((n + 1))
  name=$version-$n
done
new=$releases/$name
copy_release "$package/bin" "$package/www/rc" "$package/orvex.sh" "$version" "$new" || {
  rm -rf "$new"
  fail "copying the release into $new failed"
}

answered=$(program_version "$new/bin/tavorc")
if [ "$answered" != "$version" ]; then
  rm -rf "$new"
  fail "health check failed: the new tavorc answers app_info with version \"$answered\", not \"$version\"; nothing was switched"
fi

sh "$package/orvex.sh" stop
if ! write_releases "$name" "$current" || ! put_start_script; then
  write_releases "$current" "$previous"
  start_again "$current"
  fail "switching to $name failed; ${current:-nothing} runs again"
fi
if ! sh "$new/orvex.sh" start; then
  write_releases "$current" "$previous"
  start_again "$current"
  fail "the new release does not start; ${current:-nothing} runs again"
fi

for folder in "$releases"/*; do
  case ${folder##*/} in
    "$name" | "$current") ;;
    *) rm -rf "$folder" ;;
  esac
done
rm -rf "$addon/bin" "$addon/www"
sync
exit 0

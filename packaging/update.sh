#!/bin/sh
# Installs the add-on from this unpacked package and restarts it. The
# self-update ("try_update") runs it in the folder it unpacked the package to;
# a first installation runs it the same way by hand: sh update.sh
# Every file of the package goes below /persistfs/orvex; the configuration
# (etc/tavorc.conf) is the owner's and is never touched.
# TAVORC_ROOT, when set, goes in front of every fixed path, as in the programs.
root=${TAVORC_ROOT:-}
addon=$root/persistfs/orvex
package=$(cd "$(dirname "$0")" && pwd) || exit 1

# put FILE MODE: one file of the package into place, through a temporary copy
# renamed over the old one, so that a cut leaves the old or the new file.
put() {
  mkdir -p "$(dirname "$addon/$1")" &&
    cp "$package/$1" "$addon/$1.new" &&
    chmod "$2" "$addon/$1.new" &&
    mv -f "$addon/$1.new" "$addon/$1"
}

# put_folder FOLDER: a folder of the package replaces the installed one whole.
put_folder() {
  [ -d "$package/$1" ] || return 0
  mkdir -p "$(dirname "$addon/$1")" &&
    rm -rf "$addon/$1.new" &&
    cp -R "$package/$1" "$addon/$1.new" &&
    rm -rf "$addon/$1" &&
    mv "$addon/$1.new" "$addon/$1"
}

[ -f "$addon/orvex.sh" ] && sh "$addon/orvex.sh" stop
put bin/tavorc 755 &&
  put bin/orvexbd 755 &&
  put orvex.sh 755 &&
  put_folder www/rc &&
  mkdir -p "$addon/etc" || {
  echo "update.sh: installing into $addon failed" >&2
  exit 1
}
exec sh "$addon/orvex.sh" start

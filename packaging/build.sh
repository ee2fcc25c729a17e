#!/bin/sh
# The add-on package for the player: builds the MIPS programs
# (tools/build-mips.sh) with the maker's public key built in, and packs them
# with the scripts into build-mips/tavo_update-<version>.zip, signed with the
# maker's secret key: the file that the update server's
# "download.php?file_name=tavo_update" hands out.
# Usage: sh packaging/build.sh SECRET_KEY   (the public key is the .pub file
# beside it, as minisign -G makes them: NAME.key and NAME.pub)
set -e
if [ $# -ne 1 ]; then
  echo "usage: $0 SECRET_KEY" >&2
  exit 2
fi
key=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
public=${key%.key}.pub
[ -f "$public" ] || { echo "$0: no public key $public beside $key" >&2; exit 1; }
cd "$(dirname "$0")/.."
TAVORC_UPDATE_PUBLIC_KEY=$(sed -n 2p "$public") sh tools/build-mips.sh
sh packaging/make-package.sh build-mips "build-mips/tavo_update-$(cat build-mips/tavorc.version).zip" "$key"

#!/bin/sh
# Signs the package files in FOLDER with the maker's secret key: writes the
# manifest (sha256sum of every file, by path) and its minisign signature,
# manifest.minisig, beside them. tavorc unpacks and runs a package only when
# the signature verifies against the public key built into it and every file
# matches the manifest. minisign asks for the key's password when it has one.
# Usage: sh packaging/sign-package.sh FOLDER SECRET_KEY
set -e
if [ $# -ne 2 ]; then
  echo "usage: $0 FOLDER SECRET_KEY" >&2
  exit 2
fi
key=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
cd "$1"
rm -f manifest manifest.minisig
files=$(find . -type f | sed 's|^\./||' | LC_ALL=C sort)
for f in $files; do
  case $f in
    */./* | */../* | ./* | ../* | *[!A-Za-z0-9._+/-]*)
      echo "$0: $f is no plain path (letters, digits, \"._+-\" between slashes)" >&2
      exit 1
      ;;
  esac
done
# shellcheck disable=SC2086
sha256sum $files >manifest
version=$(cat version 2>/dev/null || echo unknown)
minisign -S -q -s "$key" -m manifest -x manifest.minisig -t "tavorc $version package manifest"

#!/bin/sh
# Makes the add-on package from the programs in PROGRAM_DIR (tavorc and
# orvexbd): one zip that is both the self-update archive and the add-on's
# installation. At its top level: update.sh, orvex.sh, bin/tavorc,
# bin/orvexbd, and www/rc/ when the source tree has the web front end.
# Usage: sh packaging/make-package.sh PROGRAM_DIR ZIP
set -e
if [ $# -ne 2 ]; then
  echo "usage: $0 PROGRAM_DIR ZIP" >&2
  exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
programs=$(cd "$1" && pwd)
mkdir -p "$(dirname "$2")"
zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
stage=$(mktemp -d "${TMPDIR:-/tmp}/tavorc-package-XXXXXX")
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/bin"
cp "$programs/tavorc" "$programs/orvexbd" "$stage/bin/"
cp "$top/packaging/orvex.sh" "$top/packaging/update.sh" "$stage/"
chmod 755 "$stage/bin/tavorc" "$stage/bin/orvexbd" "$stage/orvex.sh"
[ -d "$top/www/rc" ] && mkdir "$stage/www" && cp -R "$top/www/rc" "$stage/www/rc"

rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" .)
echo "$zip: $(wc -c <"$zip") bytes"

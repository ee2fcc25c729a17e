#!/bin/sh
# Makes the add-on package from the programs in PROGRAM_DIR (tavorc, orvexbd
# and the version file tavorc.version that the build writes): one zip that is
# both the self-update archive and the add-on's installation, signed with the
# maker's secret key. At its top level: update.sh, orvex.sh, version,
# bin/tavorc, bin/orvexbd, www/rc/, and the signed manifest of them all
# (manifest, manifest.minisig).
# Usage: sh packaging/make-package.sh PROGRAM_DIR ZIP SECRET_KEY
set -e
if [ $# -ne 3 ]; then
  echo "usage: $0 PROGRAM_DIR ZIP SECRET_KEY" >&2
  exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
programs=$(cd "$1" && pwd)
mkdir -p "$(dirname "$2")"
zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
stage=$(mktemp -d "${TMPDIR:-/tmp}/tavorc-package-XXXXXX")
trap 'rm -rf "$stage"' EXIT

mkdir "$stage/bin" "$stage/www"
cp "$programs/tavorc" "$programs/orvexbd" "$stage/bin/"
cp "$programs/tavorc.version" "$stage/version"
cp "$top/packaging/orvex.sh" "$top/packaging/update.sh" "$stage/"
cp -R "$top/www/rc" "$stage/www/rc"
chmod 755 "$stage/bin/tavorc" "$stage/bin/orvexbd" "$stage/orvex.sh"
sh "$top/packaging/sign-package.sh" "$stage" "$3"

rm -f "$zip"
(cd "$stage" && zip -q -X -r "$zip" .)
echo "$zip: version $(cat "$stage/version"), $(wc -c <"$zip") bytes"

#!/bin/sh
# The add-on package for the player: builds the MIPS programs
# (tools/build-mips.sh) and packs them with the scripts into
# build-mips/tavo_update.zip, the file that the update server's
# "download.php?file_name=tavo_update" hands out.
set -e
cd "$(dirname "$0")/.."
sh tools/build-mips.sh
sh packaging/make-package.sh build-mips build-mips/tavo_update.zip

#!/bin/sh
# The player's programs: tavorc and orvexbd for 32-bit little-endian MIPS,
# fully static, size-minded and stripped, at build-mips/tavorc and
# build-mips/orvexbd. The libraries are built first from Debian's source
# packages into build-mips-deps/ (once).
#   sh tools/build-mips.sh         the two programs
#   sh tools/build-mips.sh tests   also every test program (ctest --test-dir build-mips
#                                  runs them under qemu-mipsel-static)
# TAVORC_UPDATE_PUBLIC_KEY, when set, is the maker's public key built in
# (-DUPDATE_PUBLIC_KEY; packaging/build.sh sets it); otherwise the build
# keeps the one it has.
set -e
cd "$(dirname "$0")/.."
top=$(pwd)
sh tools/setup.sh
sh tools/build-static-deps.sh build-mips-deps cmake/mipsel-linux-gnu.cmake
cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mipsel-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DTAVORC_STATIC=ON -DTAVORC_SMALL=ON \
  -DTAVORC_STATIC_PREFIX="$top/build-mips-deps" \
  ${TAVORC_UPDATE_PUBLIC_KEY:+-DUPDATE_PUBLIC_KEY="$TAVORC_UPDATE_PUBLIC_KEY"} >/dev/null
if [ "$1" = tests ]; then
  cmake --build build-mips -j2
else
  cmake --build build-mips -j2 --target tavorc orvexbd
fi
for program in build-mips/tavorc build-mips/orvexbd; do
  echo "$program: $(wc -c <"$program") bytes"
done

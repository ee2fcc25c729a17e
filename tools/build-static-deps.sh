#!/bin/sh
# Builds the libraries of the fully static tavorc as static archives from
# Debian's source packages into PREFIX (lib/, include/), for -DTAVORC_STATIC=ON
# -DTAVORC_STATIC_PREFIX=PREFIX. A library already in PREFIX is not built again.
#   sh tools/build-static-deps.sh PREFIX              host: JsonCpp and libcue (pugixml and
#                                                     libsodium: their -dev packages ship the archives)
#   sh tools/build-static-deps.sh PREFIX TOOLCHAIN    cross, with a CMake toolchain file: JsonCpp,
#                                                     libcue, pugixml, libsodium, and GoogleTest for
#                                                     the tests
# Run as root, or with sudo: it adds a deb-src entry to apt when none exists.
set -e
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 PREFIX [TOOLCHAIN_FILE]" >&2
  exit 2
fi
mkdir -p "$1"
prefix=$(cd "$1" && pwd)
src=$prefix/src
toolchain=
if [ $# -eq 2 ]; then
  toolchain=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
fi
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo

# has_source_entry: true when apt already knows where to get source packages.
has_source_entry() {
  grep -Eqs '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}

# add_source_entry: a deb-src entry with the archive and suites of the binary one.
add_source_entry() {
  $sudo tee /etc/apt/sources.list.d/tavorc-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
}

# fetch PACKAGE: unpacks Debian's source of PACKAGE (patches applied) below
# $src and prints the folder it went to.
fetch() {
  dir=$(find "$src" -maxdepth 1 -type d -name "$1-*" | head -n 1)
  if [ -z "$dir" ]; then
    (cd "$src" && apt-get source "$1" >&2)
    dir=$(find "$src" -maxdepth 1 -type d -name "$1-*" | head -n 1)
  fi
  [ -n "$dir" ] || { echo "no source of $1 unpacked in $src" >&2; exit 1; }
  echo "$dir"
}

# cmake_static SOURCE BUILD CMAKE_OPTIONS...: configures, builds and installs
# one library into $prefix, static only. Cross builds are size-minded: the
# program links only the functions it calls.
cmake_static() {
  source=$1 build=$2
  shift 2
  if [ -n "$toolchain" ]; then
    set -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_C_FLAGS="-ffunction-sections -fdata-sections" \
      -DCMAKE_CXX_FLAGS="-ffunction-sections -fdata-sections" "$@"
  else
    set -- -DCMAKE_BUILD_TYPE=Release "$@"
  fi
  cmake -S "$source" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF -Wno-dev --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$build" -j2 >/dev/null
  cmake --install "$build" >/dev/null
}

# autotools_static PACKAGE CONFIGURE_OPTIONS...: one library from its source
# package that builds with configure and make, static only; cross-built with
# the C compiler that the toolchain file names.
autotools_static() {
  package=$1
  shift
  dir=$(fetch "$package")
  if [ -n "$toolchain" ]; then
    cc=$(sed -n 's/^set(CMAKE_C_COMPILER \([^)]*\))$/\1/p' "$toolchain")
    set -- --host="${cc%-gcc}" CC="$cc" CFLAGS="-Os -ffunction-sections -fdata-sections" "$@"
  fi
  # The source package holds configure.ac, not configure: Debian's build makes it.
  [ -x "$dir/configure" ] || (cd "$dir" && autoreconf -fi >/dev/null 2>&1)
  (cd "$dir" && ./configure --prefix="$prefix" --libdir="$prefix/lib" --disable-shared --enable-static "$@" \
    >/dev/null && make clean >/dev/null && make -j2 >/dev/null && make install >/dev/null)
}

# build_package PACKAGE CMAKE_OPTIONS...: one library from its source package.
build_package() {
  package=$1
  shift
  dir=$(fetch "$package")
  cmake_static "$dir" "$dir/build-static" "$@"
}

# wanted: the archives not yet in $prefix/lib.
wanted=""
want() { [ -f "$prefix/lib/$1" ] || wanted="$wanted $1"; }
want libjsoncpp.a
want libcue.a
if [ -n "$toolchain" ]; then
  want libpugixml.a
  want libsodium.a
  want libgtest.a
fi
if [ -z "$wanted" ]; then
  echo "static libraries already in $prefix"
  exit 0
fi

if ! has_source_entry; then
  add_source_entry
  $sudo apt-get update >/dev/null
elif ! apt-cache showsrc libjsoncpp >/dev/null 2>&1; then
  $sudo apt-get update >/dev/null
fi
$sudo apt-get install -y dpkg-dev cmake make g++ flex bison autoconf automake libtool libgtest-dev >/dev/null
mkdir -p "$src"

for archive in $wanted; do
  echo "building $archive in $prefix" >&2
  case $archive in
    libjsoncpp.a)
      # Its reader and value sources include <iostream> for messages that a
      # build with exceptions never prints. A static program would set up the
      # standard streams at every start for them: a quarter of the
      # instructions of a small request, and pages touched for nothing.
      dir=$(fetch libjsoncpp)
      sed -i '/^#include <iostream>$/d' "$dir/src/lib_json/json_reader.cpp" "$dir/src/lib_json/json_value.cpp"
      build_package libjsoncpp -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
        -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF ;;
    libcue.a) build_package libcue ;;
    libpugixml.a) build_package pugixml -DPUGIXML_BUILD_TESTS=OFF ;;
    libsodium.a) autotools_static libsodium ;;
    # The sources of GoogleTest and GoogleMock come with libgtest-dev.
    libgtest.a) cmake_static /usr/src/googletest "$src/googletest-build" -DBUILD_GMOCK=ON ;;
  esac
  [ -f "$prefix/lib/$archive" ] || { echo "$archive was not installed into $prefix/lib" >&2; exit 1; }
done
echo "static libraries built in $prefix"

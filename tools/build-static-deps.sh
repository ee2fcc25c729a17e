#!/bin/sh
# Builds JsonCpp and libcue as static libraries from Debian's source packages
# into PREFIX (lib/, include/), for the fully static tavorc (-DTAVORC_STATIC=ON
# -DTAVORC_STATIC_PREFIX=PREFIX). pugixml needs no build: libpugixml-dev ships
# libpugixml.a. A library already in PREFIX is not built again.
# Usage: sh tools/build-static-deps.sh PREFIX   (run as root, or with sudo)
set -e
if [ $# -ne 1 ]; then
  echo "usage: $0 PREFIX" >&2
  exit 2
fi
mkdir -p "$1"
prefix=$(cd "$1" && pwd)
src=$prefix/src
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

# build_static PACKAGE CMAKE_OPTIONS...: configures, builds and installs one
# library into $prefix with CMake, static only.
build_static() {
  package=$1
  shift
  dir=$(fetch "$package")
  cmake -S "$dir" -B "$dir/build-static" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF -Wno-dev "$@" >/dev/null
  cmake --build "$dir/build-static" -j2 >/dev/null
  cmake --install "$dir/build-static" >/dev/null
}

need_jsoncpp=yes
need_libcue=yes
[ -f "$prefix/lib/libjsoncpp.a" ] && need_jsoncpp=
[ -f "$prefix/lib/libcue.a" ] && need_libcue=
if [ -z "$need_jsoncpp$need_libcue" ]; then
  echo "static JsonCpp and libcue already in $prefix"
  exit 0
fi

if ! has_source_entry; then
  add_source_entry
  $sudo apt-get update >/dev/null
elif ! apt-cache showsrc libjsoncpp >/dev/null 2>&1; then
  $sudo apt-get update >/dev/null
fi
$sudo apt-get install -y dpkg-dev cmake make g++ flex bison >/dev/null
mkdir -p "$src"

if [ -n "$need_jsoncpp" ]; then
  build_static libjsoncpp -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF
fi
if [ -n "$need_libcue" ]; then
  build_static libcue
fi
for lib in libjsoncpp.a libcue.a; do
  [ -f "$prefix/lib/$lib" ] || { echo "$lib was not installed into $prefix/lib" >&2; exit 1; }
done
echo "static JsonCpp and libcue built in $prefix"

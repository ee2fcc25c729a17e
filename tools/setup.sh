#!/bin/sh
# Installs what building, testing and the demo need on a Debian 12 machine,
# the player's cross build included (the cross compiler, the emulator, and
# dpkg-dev for apt-get source, autotools for libsodium's); minisign signs the packages of updates.
# Packages already present are left alone; apt-get runs only when one is missing.
set -e
packages="g++ gcc make cmake pkg-config libjsoncpp-dev libpugixml-dev libcue-dev libsodium-dev libgtest-dev libgmock-dev
lighttpd curl wget unzip zip minisign valgrind chromium clang clang-format libclang-rt-14-dev time
g++-mipsel-linux-gnu qemu-user-static dpkg-dev flex bison autoconf automake libtool"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# The browser tests run node and npm (test tooling only); a machine that has
# them from elsewhere keeps its own.
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq $missing >/dev/null

#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need; quiet and idempotent.
set -euo pipefail

packages=(
    g++ cmake ninja-build python3 python3-yaml zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev
    libbenchmark-dev
    clang libclang-rt-14-dev pigz osslsigncode openssl
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick xdotool
    # Wine's 32-bit loader on kernels that refuse 32-bit programs: the emulator, and the
    # compiler support for the 32-bit preload library that the Wine checks build.
    qemu-user-static gcc-multilib
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
fi
echo "deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null

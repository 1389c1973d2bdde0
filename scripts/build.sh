#!/usr/bin/env bash
# Builds the programs of the one tree:
#   build/host   the simulated machine, the tests and the tools;
#   build/win32  the real 32-bit Windows executables, packed with the host's sfxpack;
#   build/win64  the same for x86-64, for Wine on hosts without 32-bit support.
# `scripts/build.sh host TARGET...` builds only the named targets of the host tree.
# `scripts/build.sh release` builds only what ships: the 32-bit tree's zil-setup.exe,
# ZIL_Setup.exe and sfxpack.exe, and their SHA256SUMS (and the host's sfxpack, which packs;
# with ZIL_HOST_SFXPACK set, that packer is used and the host tree is left alone).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)

configure_windows() {  # tree, toolchain, packer
    cmake -S . -B "build/$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIL_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" \
        -DZIL_HOST_SFXPACK="${3:-$PWD/build/host/sfxpack}" >/dev/null
}

build_release_files() {  # packer
    configure_windows win32 i686-w64-mingw32 "$1"
    cmake --build build/win32 -j "$jobs" --target release-checksums
}

if [ "${1:-}" = release ] && [ -n "${ZIL_HOST_SFXPACK:-}" ]; then
    build_release_files "$ZIL_HOST_SFXPACK"
    exit 0
fi

cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZIL_WERROR=ON >/dev/null
case "${1:-}" in
    host)
        shift
        cmake --build build/host -j "$jobs" ${1:+--target "$@"}
        exit 0
        ;;
    release)
        cmake --build build/host -j "$jobs" --target sfxpack
        build_release_files "$PWD/build/host/sfxpack"
        exit 0
        ;;
esac
cmake --build build/host -j "$jobs"

configure_windows win32 i686-w64-mingw32
cmake --build build/win32 -j "$jobs"

# Wine runs this twin where the host cannot run 32-bit code (some sandboxed kernels refuse
# 32-bit executables, so wine32 cannot start there).
configure_windows win64 x86_64-w64-mingw32
cmake --build build/win64 -j "$jobs"

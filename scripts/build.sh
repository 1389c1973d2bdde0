#!/usr/bin/env bash
# Builds both programs of the one tree: build/host (the simulated machine, tests, tools) and
# build/win32 (the real 32-bit Windows executables, packed with the host's sfxpack), and
# build/win64 (the same for x86-64, for Wine on hosts without 32-bit support).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j "$jobs"

cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
    -DZIL_HOST_SFXPACK="$PWD/build/host/sfxpack" >/dev/null
cmake --build build/win32 -j "$jobs"

# The same Windows program for x86-64: Wine runs it where the host cannot run 32-bit code
# (some sandboxed kernels refuse 32-bit executables, so wine32 cannot start there).
cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
    -DZIL_HOST_SFXPACK="$PWD/build/host/sfxpack" >/dev/null
cmake --build build/win64 -j "$jobs"

#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need; quiet and idempotent.
set -euo pipefail

packages=(
    g++ cmake ninja-build python3 python3-yaml zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev
    libbenchmark-dev
    clang libclang-rt-14-dev clang-format pigz osslsigncode openssl
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick xdotool
    # Wine's 32-bit loader on kernels that refuse 32-bit programs: the emulator, and the
    # compiler support for the 32-bit preload library that the Wine checks build.
    qemu-user-static gcc-multilib
    # Unpacks zlib's source (below).
    bzip2
)

# zlib's inflate is compiled from source into the 32-bit setup program (cmake/ZlibInflate.cmake):
# Debian's source package of the pinned version, its upstream tarball checked against the sum
# below, unpacked outside the tree where the build looks for it (ZIL_ZLIB_SOURCE_DIR).
zlib_package=zlib
zlib_version=1:1.2.13.dfsg-1
zlib_tarball=zlib_1.2.13.dfsg.orig.tar.bz2
zlib_sha256=71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
zlib_parent=/usr/local/src/zil
zlib_folder=zlib-1.2.13.dfsg
zlib_apt_list=/etc/apt/sources.list.d/zil-zlib-source.sources

# A mirror in mid-sync serves an index that does not match its release file, and apt-get update
# then fails although the lists this script needs may have arrived. Try again a few times, then go
# on with what did arrive: apt-get install below says plainly what it still cannot find.
update_package_lists() {
    local attempt
    for attempt in 1 2 3; do
        apt-get update -qq && return 0
        echo "deps: apt-get update failed (attempt $attempt of 3)" >&2
        [ "$attempt" -lt 3 ] && sleep 20
    done
    echo "deps: going on with the package lists that did arrive" >&2
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
zlib_ready() {
    [ "$(cat "$zlib_parent/$zlib_folder/.sha256" 2>/dev/null)" = "$zlib_sha256" ]
}
[ ${#missing[@]} -eq 0 ] && zlib_ready && exit 0

if [ "$(id -u)" -ne 0 ]; then
    zlib_ready || missing+=("zlib source in $zlib_parent/$zlib_folder")
    echo "deps: missing packages (${missing[*]}); run as root to install them" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    echo "deps: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    update_package_lists
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi

fetch_zlib_source() {
    local download
    echo "deps: fetching the source of $zlib_package $zlib_version"
    # Source packages of the release this machine runs, in a list of their own that only this
    # step reads, so that the machine's other lists stay as they are.
    . /etc/os-release
    cat >"$zlib_apt_list" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq -o Dir::Etc::sourcelist="$zlib_apt_list" -o Dir::Etc::sourceparts=- \
        -o APT::Get::List-Cleanup=0
    download=$(mktemp -d)
    # apt fetches as its own unprivileged user where it may write.
    chown _apt "$download" 2>/dev/null || true
    (cd "$download" && apt-get source -qq --download-only "$zlib_package=$zlib_version") >/dev/null
    if ! echo "$zlib_sha256  $download/$zlib_tarball" | sha256sum -c --quiet -; then
        echo "deps: $zlib_tarball does not match its pinned SHA-256" >&2
        rm -rf "$download"
        return 1
    fi
    rm -rf "${zlib_parent:?}/$zlib_folder"
    mkdir -p "$zlib_parent"
    tar -xjf "$download/$zlib_tarball" -C "$zlib_parent"
    rm -rf "$download"
    echo "$zlib_sha256" >"$zlib_parent/$zlib_folder/.sha256"
}
zlib_ready || fetch_zlib_source

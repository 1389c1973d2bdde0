#!/usr/bin/env bash
# The commit checked out here, built in two folders of different depth with the release command:
# the files that ship are byte for byte the same, SHA256SUMS lists them, and the one date in the
# images is the commit's. The first build finds the date in the commit, the second is given it
# as SOURCE_DATE_EPOCH, as a packager would. When this tree is the commit unchanged and
# scripts/build.sh has built it (the test command builds first), its own build/win32 is the
# first build; otherwise the commit is cloned for it too. Slow (one or two builds of the 32-bit
# release files). Both builds pack with this tree's host sfxpack, a build tool like the compiler.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
packer=$root/build/host/sfxpack
if [ ! -x "$packer" ]; then
    echo "FAIL $packer is missing: run scripts/build.sh"
    exit 1
fi
commit=$(git -C "$root" rev-parse HEAD) || exit 1
date=$(git -C "$root" log -1 --format=%ct "$commit") || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
release_files="zil-setup.exe sfxpack.exe ZIL_Setup.exe SHA256SUMS"

failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

build() {  # folder
    git clone -q --no-checkout "$root" "$1" && git -C "$1" checkout -q --detach "$commit" &&
        ZIL_HOST_SFXPACK=$packer nice -n 10 "$1/scripts/build.sh" release >"$1.log" 2>&1 ||
        { tail -30 "$1.log"; return 1; }
}

# The time stamp in the file header of a PE image, in seconds since 1970.
pe_time_stamp() {  # image
    local header
    header=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    od -An -t u4 -j $((header + 8)) -N 4 "$1" | tr -d ' '
}

first=$scratch/a/src
second=$scratch/another/deeper/folder/src
built_here() {
    [ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] || return 1
    for name in $release_files; do
        [ -s "$root/build/win32/$name" ] || return 1
    done
}
if built_here; then
    first=$root
    echo "     the first build is this tree's own ($root/build/win32)"
else
    (unset SOURCE_DATE_EPOCH; build "$first") || { echo "FAIL the first build"; exit 1; }
fi
SOURCE_DATE_EPOCH=$date build "$second" || { echo "FAIL the second build"; exit 1; }

for name in $release_files; do
    a=$first/build/win32/$name
    b=$second/build/win32/$name
    if [ ! -s "$a" ] || [ ! -s "$b" ]; then
        fail "$name was not built"
    elif cmp -s "$a" "$b"; then
        echo "ok   $name is the same in both builds ($(stat -c %s "$a") bytes)"
    else
        fail "$name differs: $(cmp -l "$a" "$b" 2>&1 | wc -l) bytes, first at $(cmp "$a" "$b" | sed 's/.*byte \([0-9]*\).*/\1/')"
    fi
done

listed=$(cut -d' ' -f3 "$first/build/win32/SHA256SUMS" | LC_ALL=C sort | xargs)
[ "$listed" = "ZIL_Setup.exe sfxpack.exe zil-setup.exe" ] || fail "SHA256SUMS lists: $listed"
(cd "$first/build/win32" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

for name in zil-setup.exe sfxpack.exe ZIL_Setup.exe; do
    stamp=$(pe_time_stamp "$first/build/win32/$name")
    [ "$stamp" = "$date" ] || fail "$name is dated $stamp, the commit $date"
done

[ "$failures" -eq 0 ] && echo "reproducible: $commit, $release_files identical"
[ "$failures" -eq 0 ]

#!/usr/bin/env bash
# Makes a brand-new prefix for one build and keeps it, unused, for the Wine checks of a run to
# copy (ZIL_WINE_TEMPLATE): `wineboot -i`, then the end of its first session. Prints where it is.
#   tests/wine/prefix.sh [win32|win64]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/lib.sh"
wine_enter "$@"
export WINEPREFIX=$WINE_CHECK_DIR/prefix
wine_boot_prefix prefix-creation
echo "prefix: $WINEPREFIX"

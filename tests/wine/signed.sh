#!/usr/bin/env bash
# The setup program signed with osslsigncode, as a vendor ships it, end to end under Wine from a
# brand-new prefix: the signature verifies, "/I" installs and "/U" removes, as install.sh checks
# the unsigned program.
#   tests/wine/signed.sh [win32|win64]
export ZIL_WINE_SIGNED=1 ZIL_WINE_CHECK_NAME=signed
exec bash "$(dirname "${BASH_SOURCE[0]}")/install.sh" "$@"

#!/usr/bin/env bash
# The main job: build the setup program with the sample payload, then install and uninstall the
# product on a fresh simulated machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh >/dev/null
machine=$(mktemp -d /tmp/zil-machine.XXXXXX)
export ZIL_MACHINE=$machine ZIL_CLOCK=real ZIL_UI=${ZIL_UI:-text}
echo "== simulated machine: $machine"
echo "== ZIL_Setup /I"
build/host/zil-setup /I || true

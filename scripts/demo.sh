#!/usr/bin/env bash
# Builds the station, makes the demo data folder ./demo (kept when it is
# already there) and starts the station in it.  Esc in the entry form leaves.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/packages.sh
need_build_packages
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target chk_env2 dbftool
if [ ! -e demo/acceso2.dbf ]; then
  build/bin/chk_env2 --make-demo demo
fi
# The demo's drives lie inside ./demo: s:\ (the comptes files) and the rooted
# paths such as \VLM\TMP\ (the vouchers).  The fiscal printer program is a
# stand-in that notes the voucher it was given in demo/i_n_fisc.log.
export DRIVE_S="${DRIVE_S:-$PWD/demo/drive_s}"
export DRIVE_ROOT="${DRIVE_ROOT:-$PWD/demo/root}"
mkdir -p "$DRIVE_S/qumar/comptes_tz" "$DRIVE_ROOT/VLM/TMP"
if [ ! -e demo/i_n_fisc ]; then
  printf '#!/bin/sh\necho "$(date +%%T) $*" >> i_n_fisc.log\n' > demo/i_n_fisc
  chmod +x demo/i_n_fisc
fi
exec build/bin/chk_env2 --data demo "$@"

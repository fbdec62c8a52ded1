#!/usr/bin/env bash
# Tables written by our engine (0x03 without memo, 0xF5 with an FPT memo; CP850
# text) read back identically with Debian's python3-dbfread and python3-dbf
# (see python_readers_check.py).  Arguments: build folder, source folder.
set -euo pipefail
build=${1:?build folder}
src=${2:?source folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec /usr/bin/python3 "$src/tests/scripts/python_readers_check.py" "$build/bin/dbftool" "$work"

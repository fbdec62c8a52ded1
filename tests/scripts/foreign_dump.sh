#!/usr/bin/env bash
# Every table of the foreign sample sets is read by `dbftool dump` exactly as
# the set's EXPECTED.json says (compared by foreign_dump_compare.py).
# Arguments: build folder, source folder.
set -euo pipefail
build=${1:?build folder}
src=${2:?source folder}
exec /usr/bin/python3 "$src/tests/scripts/foreign_dump_compare.py" \
  "$build/bin/dbftool" "$src/tests/fixtures/foreign" \
  vfp-northwind vfp-freetables ruby-foxprodb ruby-legacy perl-xbase go-foxpro

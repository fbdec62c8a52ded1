#!/usr/bin/env bash
# Every tag of every order bag in the foreign sample sets is listed by
# `dbftool keys` as the set's EXPECTED.json says (compared by
# foreign_keys_compare.py): key counts, the first 20 and last 5 pairs.
# Arguments: build folder, source folder.
set -euo pipefail
build=${1:?build folder}
src=${2:?source folder}
exec /usr/bin/python3 "$src/tests/scripts/foreign_keys_compare.py" \
  "$build/bin/dbftool" "$src/tests/fixtures/foreign" \
  vfp-northwind vfp-freetables ruby-foxprodb perl-xbase

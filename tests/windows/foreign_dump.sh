#!/usr/bin/env bash
# `dbftool.exe dump` of every table of the foreign sample sets, run under
# wine, prints exactly what the Linux dbftool prints (its lines end in CR LF
# as Windows' text output does), and ends with the same exit code.
# Arguments: Windows build folder, source folder, Linux build folder.
. "$(dirname "$0")/common.bash"
cd "$src/tests/fixtures/foreign"
tables=$(find . -iname '*.dbf' | sed 's|^\./||' | sort)
[ -n "$tables" ] || { echo "FAIL: no foreign tables found"; exit 1; }
for t in $tables; do
  want=$("$linux/bin/dbftool" dump "$t" 2>&1; echo "exit $?")
  got=$(wine "$win/bin/dbftool.exe" dump "$t" 2>&1 | tr -d '\r'; echo "exit ${PIPESTATUS[0]}")
  if [ "$got" = "$want" ]; then pass "$t"; else
    fail "$t: the Windows dump differs"
    diff <(echo "$want") <(echo "$got") | head -5
  fi
done
finish

# Shared by the Windows script tests: arguments (Windows build folder,
# source folder, Linux build folder), the programs of both builds, wine with
# the build's own prefix, and pass/fail counting.
set -u
win=$(cd "${1:?Windows build folder}" && pwd)
src=$(cd "${2:?source folder}" && pwd)
linux=$(cd "${3:?Linux build folder}" && pwd)
export WINEPREFIX="${WINEPREFIX:-$win/wine}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for p in "$win/bin/chk_env2.exe" "$win/bin/dbftool.exe" "$linux/bin/chk_env2" "$linux/bin/dbftool"; do
  [ -f "$p" ] || { echo "FAIL: $p not built"; exit 1; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
finish() {
  if [ $failures -gt 0 ]; then
    echo "$failures failed"
    exit 1
  fi
  echo "all passed"
  exit 0
}

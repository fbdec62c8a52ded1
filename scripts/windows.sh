#!/usr/bin/env bash
# The Windows programs: cross-builds chk_env2.exe and dbftool.exe with
# mingw-w64 (linked statically: no DLL beside them but Windows' own), runs
# the Windows test programs and script tests under wine, and packs
# dist/chk_env2-windows-x64.zip (both programs and docs/README-windows.txt,
# the site's notes, as LEAME.txt).
# The script tests compare the Windows programs with the Linux build in
# ./build, which is brought up to date first.  CHK_WINDOWS_TESTS=0 skips the
# tests (build and zip only).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/packages.sh
need_build_packages
need_packages "for the Windows programs and their tests: mingw-w64, wine, GoogleTest's sources, zip, python3" \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest zip python3
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2   # wine's own processes need a core too
started=$SECONDS

echo "== Linux programs the Windows ones are compared with"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target chk_env2 dbftool

echo "== cross build (mingw-w64)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCHK_BENCH=OFF -DCHK_LINUX_BUILD="$PWD/build" >/dev/null
targets=(chk_env2 dbftool)
if [ "${CHK_WINDOWS_TESTS:-1}" != 0 ]; then
  targets+=(test_runtime test_console test_data test_tools test_app)
fi
cmake --build build-win -j"$jobs" --target "${targets[@]}"

# Only Windows' own libraries may be named as DLLs the programs need.
for exe in build-win/bin/chk_env2.exe build-win/bin/dbftool.exe; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  foreign=$(grep -Ev '^(kernel32|user32|gdi32|advapi32|shell32|msvcrt|ws2_32|ole32|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$dlls" || true)
  if [ -n "$foreign" ]; then
    echo "$exe needs DLLs Windows does not have: $foreign" >&2
    exit 1
  fi
  echo "$(basename "$exe"): $(tr '\n' ' ' <<<"$dlls")"
done
echo "-- cross build: $((SECONDS - started)) s"

if [ "${CHK_WINDOWS_TESTS:-1}" != 0 ]; then
  echo "== Windows tests under wine"
  # A wine prefix of the build's own; its first start makes it (a few
  # seconds).  No Mono or Gecko: nothing here needs them.
  export WINEPREFIX="$PWD/build-win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -e "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
  # One wine server for every test program: each start is then quicker.
  # wine's own services start here, outside ctest: started by a test they
  # would hold its output open and ctest would wait for them forever.
  # (a server left running by an earlier run of this prefix is ended first)
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  tests_started=$SECONDS
  ctest --test-dir build-win --output-on-failure -j"$jobs"
  echo "-- Windows tests: $((SECONDS - tests_started)) s"
  wineserver -k 2>/dev/null || true
fi

echo "== dist/chk_env2-windows-x64.zip"
stage=build-win/dist
rm -rf "$stage" && mkdir -p "$stage" dist
for exe in chk_env2 dbftool; do
  x86_64-w64-mingw32-strip -o "$stage/$exe.exe" "build-win/bin/$exe.exe"
done
sed 's/$/\r/' docs/README-windows.txt >"$stage/LEAME.txt"
rm -f dist/chk_env2-windows-x64.zip
(cd "$stage" && zip -q -X -9 ../../dist/chk_env2-windows-x64.zip chk_env2.exe dbftool.exe LEAME.txt)
echo "dist/chk_env2-windows-x64.zip: $(stat -c %s dist/chk_env2-windows-x64.zip) bytes"
echo "-- Windows stage: $((SECONDS - started)) s"

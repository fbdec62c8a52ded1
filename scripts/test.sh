#!/usr/bin/env bash
# Builds everything and runs every test: the sanitizer build (AddressSanitizer
# and UndefinedBehaviorSanitizer), a short run of each fuzz target, and the
# normal build's test suite last.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/packages.sh
need_build_packages
need_packages "for the tests: GoogleTest, Google Benchmark and SQLite (benchmarks), clang and its sanitizer runtime (fuzz targets), tmux and terminfo (terminal tests), python3 (reader comparisons)" \
  googletest libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev clang libclang-rt-14-dev \
  tmux ncurses-term python3
jobs=$(nproc)

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCHK_SANITIZE=ON -DCHK_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE slow

echo "== fuzz targets (${FUZZ_SECONDS:-15} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCHK_FUZZ=ON -DCHK_TESTS=OFF -DCHK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
for target in build-fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  echo "-- $name"
  "$target" -max_total_time="${FUZZ_SECONDS:-15}" -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" $seeds 2>&1 | tail -n 3
done

echo "== release build and the whole test suite"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

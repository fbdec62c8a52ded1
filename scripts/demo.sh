#!/usr/bin/env bash
# Builds the programs and shows them on sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dbftool
sample=../shared/fixtures/foreign/go-foxpro/TEST.DBF
build/bin/dbftool info "$sample"
build/bin/dbftool dump "$sample"

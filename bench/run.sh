#!/usr/bin/env bash
# Benchmarks the updater under Wine against floor programs built in the same
# run, and prints the table the README shows. Not part of the tests.
# Usage: bench/run.sh [RUNS]    (runs per case, at least 9; default 9)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/require-packages.sh $(cat scripts/build-packages.txt)
scripts/require-wine.sh
cmake --workflow --preset win32 >/dev/null
python3 bench/bench.py build/win32 "${1:-9}"

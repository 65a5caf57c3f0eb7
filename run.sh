#!/usr/bin/env bash
# Builds build/win32/updater.exe and shows its size and the DLLs it imports.
set -euo pipefail
cd "$(dirname "$0")"

scripts/require-packages.sh $(cat scripts/build-packages.txt)
cmake --workflow --preset win32 >/dev/null

exe=build/win32/updater.exe
echo "Built $exe: $(stat -c %s "$exe") bytes"
echo "Imports: $(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | paste -sd ' ')"

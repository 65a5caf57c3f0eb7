#!/usr/bin/env bash
# Builds build/win32/updater.exe, shows its size and the DLLs it imports, then
# performs one real update with it under Wine in a throwaway sandbox.
set -euo pipefail
cd "$(dirname "$0")"

scripts/require-packages.sh $(cat scripts/build-packages.txt)
cmake --workflow --preset win32 >/dev/null

exe=build/win32/updater.exe
echo "Built $exe: $(stat -c %s "$exe") bytes"
echo "Imports: $(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | paste -sd ' ')"
echo
echo "A real update under Wine:"
python3 tools/demo.py build/win32

#!/usr/bin/env bash
# Usage: check_reproducible.sh SOURCE_DIR EXE
# Two clean builds of the win32 preset in different folders must give the
# same bytes as each other and as EXE, so anyone can check a shipped
# updater.exe against its sources.
set -eu
source_dir=$1 exe=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for folder in first "second, a longer folder name"; do
  cmake --preset win32 -S "$source_dir" -B "$scratch/$folder" >/dev/null
  cmake --build "$scratch/$folder" --target updater >/dev/null
done
failed=0
for built in "$scratch/first/updater.exe" "$scratch/second, a longer folder name/updater.exe"; do
  if cmp -s "$built" "$exe"; then
    echo "ok: $(sha256sum < "$built" | cut -c1-16) from $built"
  else
    echo "FAIL: $built differs from $exe"; cmp "$built" "$exe" | head -n 3; failed=1
  fi
done
exit $failed

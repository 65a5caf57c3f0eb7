#!/usr/bin/env bash
# Runs every test: the installer's logic on this machine against a fake of the
# platform, then the checks on the built updater.exe.
set -euo pipefail
cd "$(dirname "$0")"

scripts/require-packages.sh $(cat scripts/build-packages.txt)
cmake --workflow --preset host
cmake --workflow --preset win32
ctest --preset win32

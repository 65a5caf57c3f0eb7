#!/usr/bin/env bash
# Usage: check_pe.sh OBJDUMP EXE
# The updater must be a 32-bit x86 console program that needs no DLL beyond
# the system's own.
set -u
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
failed=0
expect() {  # NAME WANTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1 is $3"; else echo "FAIL: $1 is '$3', wanted '$2'"; failed=1; fi
}
expect "file format" "pei-i386" "$(echo "$headers" | sed -n 's/.*file format //p' | head -n 1)"
expect "optional header magic" "010b" "$(echo "$headers" | awk '$1 == "Magic" {print $2}')"
expect "subsystem" "00000003" "$(echo "$headers" | awk '$1 == "Subsystem" {print $2}')"
expect "imported DLLs" "KERNEL32.dll USER32.dll msvcrt.dll" \
  "$(echo "$headers" | awk '/DLL Name:/ {print $3}' | LC_ALL=C sort | paste -sd ' ')"
exit $failed

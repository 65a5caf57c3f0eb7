#!/usr/bin/env bash
# Usage: check_pe.sh OBJDUMP EXE
# The updater must be a 32-bit x86 console program that loads no DLL beside
# it: it may import only KERNEL32.dll, USER32.dll and msvcrt.dll, all of them
# known DLLs, which Windows always takes from its own folder.
set -u
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
failed=0
expect() {  # WHAT WANTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1 is $3"; else echo "FAIL: $1 is '$3', wanted '$2'"; failed=1; fi
}
expect "file format" "pei-i386" "$(echo "$headers" | sed -n 's/.*file format //p' | head -n 1)"
expect "optional header magic (PE32)" "010b" "$(echo "$headers" | awk '$1 == "Magic" {print $2}')"
expect "subsystem (console)" "00000003" "$(echo "$headers" | awk '$1 == "Subsystem" {print $2}')"
# 0x40 relocatable (ASLR) and 0x100 no execution from data pages (DEP).
characteristics=$(echo "$headers" | awk '$1 == "DllCharacteristics" {print $2}')
expect "ASLR and DEP" "0x140" "$(printf '%#x' $(( 0x$characteristics & 0x140 )))"

imports=$(echo "$headers" | awk '/DLL Name:/ {print $3}' | LC_ALL=C sort)
echo "imports: $(echo $imports)"
for dll in KERNEL32.dll USER32.dll; do
  echo "$imports" | grep -qx "$dll" || { echo "FAIL: $dll is not imported"; failed=1; }
done
for dll in $imports; do
  case "$dll" in
    KERNEL32.dll | USER32.dll | msvcrt.dll) ;;
    *) echo "FAIL: imports $dll, which is not a known DLL of Windows"; failed=1 ;;
  esac
done
exit $failed

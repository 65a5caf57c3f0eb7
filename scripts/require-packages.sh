#!/usr/bin/env bash
# Usage: scripts/require-packages.sh PACKAGE...
# Installs the Debian packages named that are missing (PACKAGE:i386 adds the
# i386 architecture first). Not root: prints the exact command and fails.
set -euo pipefail

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

needs_i386=false
for package in "${missing[@]}"; do
  case "$package" in *:i386) needs_i386=true ;; esac
done
if $needs_i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_arch="dpkg --add-architecture i386 && "
else
  add_arch=""
fi
command="${add_arch}apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root, then run this again:" >&2
  echo "  sudo sh -c '$command'" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
sh -c "$command" >/tmp/tarvex-apt.log 2>&1 || { tail -n 30 /tmp/tarvex-apt.log >&2; exit 1; }

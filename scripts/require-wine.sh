#!/usr/bin/env bash
# Makes sure Wine can run 32-bit Windows programs here, with Xvfb, xdotool and
# ImageMagick for the error box. Some virtual machines cannot execute 32-bit
# x86 code at all (the kernel answers "Exec format error"); there 32-bit Linux
# programs, Wine's own loader among them, run through qemu's user-mode
# emulator, registered with the kernel's binfmt_misc. qemu older than 8 makes
# every Wine start take most of a minute, so it comes from bookworm-backports.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

"$here/require-packages.sh" $(cat "$here/e2e-packages.txt")

binfmt=/proc/sys/fs/binfmt_misc
qemu_major() { qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
qemu_recent() { [ -n "$(qemu_major)" ] && [ "$(qemu_major)" -ge 8 ]; }
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  # Natively, or through an emulator recent enough to be of use.
  [ -e "$binfmt/qemu-i386" ] && ! qemu_recent || exit 0
fi

steps=()
if ! qemu_recent; then
  steps+=("printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' > /etc/apt/sources.list.d/bookworm-backports.sources")
  steps+=("apt-get update")
  steps+=("DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -t bookworm-backports qemu-user-static")
fi
steps+=("mountpoint -q $binfmt || mount -t binfmt_misc binfmt_misc $binfmt")
steps+=("if [ -e $binfmt/qemu-i386 ]; then echo -1 > $binfmt/qemu-i386; fi")
steps+=("printf '%s' ':qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:/usr/bin/qemu-i386:F' > $binfmt/register")

if [ "$(id -u)" -ne 0 ]; then
  echo "This machine cannot run 32-bit x86 code natively, and setting up emulation needs root:" >&2
  for step in "${steps[@]}"; do echo "  sudo sh -c \"$step\"" >&2; done
  exit 1
fi
echo "Enabling 32-bit x86 emulation for Wine (qemu-i386 through binfmt_misc)"
for step in "${steps[@]}"; do sh -c "$step" >>/tmp/tarvex-apt.log 2>&1 || { echo "failed: $step" >&2; tail -n 20 /tmp/tarvex-apt.log >&2; exit 1; }; done
/usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "Wine still cannot run 32-bit programs" >&2; exit 1; }

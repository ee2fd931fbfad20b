#!/bin/sh
# Makes the build's Wine prefix once and maps COM1 to LINK, a symbolic link
# that the harness points at its pseudo-terminal. The mapping is in place
# before any program of the prefix runs, so COM1 never reaches the machine's
# own first serial port. make-prefix.sh PREFIX LINK
set -eu
prefix=$1
link=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ ! -f "$prefix/.trellum-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  [ -e "$link" ] || ln -sfn /dev/null "$link"
  # The registry first: wineboot would otherwise map COM1 to /dev/ttyS0.
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$link" /f >/dev/null 2>&1
  wineserver -w
  # The next start maps the ports from the registry.
  wine cmd /c exit >/dev/null 2>&1
  wineserver -w
fi
target=$(readlink "$prefix/dosdevices/com1" || true)
echo "COM1 -> $target"
if [ "$target" != "$link" ]; then
  echo "COM1 is not mapped to $link" >&2
  exit 1
fi
touch "$prefix/.trellum-ready"

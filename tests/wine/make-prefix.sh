#!/bin/sh
# Makes the build's Wine prefix once and maps COM1 to LINK (and COM2 to LINK2
# when given), symbolic links that the harness points at its
# pseudo-terminals. The mapping is in place before any program of the prefix
# runs, so the ports never reach the machine's own serial ports.
# make-prefix.sh PREFIX LINK [LINK2]
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
mapping="$*"
if [ ! -f "$prefix/.trellum-ready" ] || [ "$(cat "$prefix/.trellum-ready")" != "$mapping" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  # The registry first: wineboot would otherwise map COMn to /dev/ttyS(n-1).
  wineboot -i >/dev/null 2>&1
  n=1
  for link in "$@"; do
    [ -e "$link" ] || ln -sfn /dev/null "$link"
    wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$link" /f >/dev/null 2>&1
    n=$((n + 1))
  done
  wineserver -w
  # The next start maps the ports from the registry.
  wine cmd /c exit >/dev/null 2>&1
  wineserver -w
fi
n=1
for link in "$@"; do
  target=$(readlink "$prefix/dosdevices/com$n" || true)
  echo "COM$n -> $target"
  if [ "$target" != "$link" ]; then
    echo "COM$n is not mapped to $link" >&2
    exit 1
  fi
  n=$((n + 1))
done
echo "$mapping" > "$prefix/.trellum-ready"

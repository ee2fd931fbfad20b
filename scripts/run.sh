#!/usr/bin/env bash
# Installs what is needed, builds into build/ and starts trellum with COM1
# selected. Without an argument COM1 is a virtual reader on a pseudo-terminal
# with a card read every few seconds, ended when the window closes; with a
# device path (bash scripts/run.sh /dev/ttyUSB0) COM1 is that device. The
# mapping goes into build/bin/trellum.INI, keeping every other line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

bin=build/bin
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no graphical display (DISPLAY and WAYLAND_DISPLAY are not set);" \
    "run it in a desktop session or over ssh -X. The build is in build/." >&2
  exit 1
fi
ini=$bin/trellum.INI
work=$(mktemp -d)
reader_pid=""
cleanup() {
  if [ -n "$reader_pid" ]; then
    kill "$reader_pid" 2>/dev/null || true
    wait "$reader_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# set_ini FILE SECTION KEY VALUE: sets one key, leaving every other line as it is.
set_ini() {
  local file=$1 section=$2 key=$3 value=$4
  touch "$file"
  awk -v section="$section" -v key="$key" -v value="$value" '
    function put() { if (!done) { print key "=" value; done = 1 } }
    {
      line = $0; sub(/\r$/, "", line)
      if (line ~ /^[ \t]*\[.*\][ \t]*$/) {
        if (inside) put()
        name = line; gsub(/^[ \t]*\[|\][ \t]*$/, "", name)
        inside = (tolower(name) == tolower(section))
        print; next
      }
      if (inside) {
        k = line; sub(/=.*/, "", k); gsub(/^[ \t]+|[ \t]+$/, "", k)
        if (line ~ /=/ && tolower(k) == tolower(key)) { put(); next }
      }
      print
    }
    END {
      if (inside) put()
      if (!done) { print "[" section "]"; print key "=" value }
    }' "$file" > "$work/ini"
  cat "$work/ini" > "$file"
}

if [ $# -gt 0 ]; then
  set_ini "$ini" Ports COM1 "$1"
  set_ini "$ini" Settings Port 0
  echo "COM1 is $1."
  "$bin/trellum"
  exit 0
fi

"$bin/trellum-reader" --period 3000 > "$work/reader.out" 2> "$work/reader.err" < /dev/null &
reader_pid=$!
device=""
for _ in $(seq 50); do
  device=$(sed -n 's/^device //p' "$work/reader.out" | head -n 1)
  [ -n "$device" ] && break
  kill -0 "$reader_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$device" ]; then
  echo "run.sh: the virtual reader did not start:" >&2
  cat "$work/reader.err" >&2
  exit 1
fi

set_ini "$ini" Ports COM1 "$device"
set_ini "$ini" Settings Port 0
echo "Virtual reader on $device (COM1). Press Connect in the window; close it to end the demo."
"$bin/trellum"

#!/usr/bin/env bash
# Installs what is needed, builds the programs into build/ and starts trellum
# with COM1 selected. Without an argument COM1 is a virtual reader on a
# pseudo-terminal with a card read every few seconds, ended when the window
# closes; with a device path or a network name (bash scripts/run.sh
# /dev/ttyUSB0, bash scripts/run.sh rfc2217://10.0.4.17:2001) COM1 is that
# device. The program maps and selects COM1 for this run only (--port); the
# settings file build/bin/trellum.INI keeps its stored port and its "Ports"
# section.
set -euo pipefail
cd "$(dirname "$0")/.."

# TRELLUM_SKIP_DEPS=1 builds again without touching the packages. Only what
# building and running need is installed, and only the programs are built: a
# build folder made here has no tests (they need the test command's
# packages); one that the test command made keeps them. A folder made here is
# a release build: without debug information it compiles in about a third
# less time.
if [ -z "${TRELLUM_SKIP_DEPS:-}" ]; then
  bash scripts/install-deps.sh --run
fi
fresh=()
if [ ! -f build/CMakeCache.txt ]; then fresh=(-DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release); fi
cmake -S . -B build "${fresh[@]}"
cmake --build build -j "$(nproc)" --target installation

bin=build/bin
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no graphical display (DISPLAY and WAYLAND_DISPLAY are not set);" \
    "run it in a desktop session or over ssh -X. The build is in build/." >&2
  exit 1
fi
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

if [ $# -gt 0 ]; then
  echo "COM1 is $1."
  "$bin/trellum" --port "COM1=$1"
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

echo "Virtual reader on $device (COM1). Press Connect in the window; close it to end the demo."
"$bin/trellum" --port "COM1=$device"

#!/usr/bin/env bash
# Measures a new user's first start. In a fresh copy of the machine's Debian 12
# root (scripts/debian-root.sh), with the committed sources as a fresh clone
# holds them, runs `bash scripts/run.sh` as root with an X display (Xvfb) and
# prints the time until the demo's window is mapped. Needs root; the README's
# figure is its output on two cores.
#   first-start.sh     measures once; run.sh's output goes to first-start.log here
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=fresh-root.sh
source "$here/fresh-root.sh"
# The longest a first start may take before the measurement gives up.
LIMIT=1800

if [ "$(id -u)" -ne 0 ]; then
  echo "first-start.sh: needs root (a Debian root, its mounts, apt in it)" >&2
  exit 1
fi

if [ "${1:-}" != --inside ]; then
  root=$(bash "$here/debian-root.sh")
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  git -C "$here/.." archive --format=tar HEAD > "$work/source.tar"
  unshare --mount --pid --fork --kill-child --mount-proc bash "$0" --inside "$root" "$work"
  exit
fi

root=$2 work=$3
r=$work/root
fresh_root "$root" "$r"
mkdir -p "$r/root/trellum"
tar -x -C "$r/root/trellum" -f "$work/source.tar"
start_xvfb "$work"
log=$PWD/first-start.log
# The processor time, in seconds, of everything run.sh ran and has waited for:
# on a machine that others share, the wall time depends on them, this does
# not.
run_cpu() {
  awk -v tick="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print int(($14 + $15) / tick) }' \
    "/proc/$(pgrep -o -f 'bash scripts/run.sh')/stat"
}
start=$SECONDS
# run.sh's output, each line after the seconds since its start; when the
# build begins, the processor time apt took.
chroot "$r" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DISPLAY="$display" \
  bash -c 'cd /root/trellum && exec bash scripts/run.sh' 2>&1 < /dev/null |
  while IFS= read -r line; do
    printf '%4d %s\n' $((SECONDS - start)) "$line"
    if [[ $line == "-- The CXX compiler identification"* ]]; then echo "packages' processor time $(run_cpu)"; fi
  done > "$log" &
run=$!
# One connection that looks for the window until it is there: each new
# connection would cost the X server a keymap compilation.
DISPLAY=$display xdotool search --sync --onlyvisible --name '^Velmora$' > /dev/null 2>&1 &
finder=$!
while kill -0 "$finder" 2>/dev/null; do
  if ! kill -0 "$run" 2>/dev/null || [ $((SECONDS - start)) -gt $LIMIT ]; then
    tail -n 30 "$log" >&2
    echo "first-start.sh: no window (run.sh's output: $log)" >&2
    exit 1
  fi
  sleep 0.5
done
wait "$finder" || { echo "first-start.sh: xdotool failed on $display" >&2; exit 1; }
total=$((SECONDS - start)) cpu=$(run_cpu)
configured=$(awk '/ -- The CXX compiler identification/ { print $1; exit }' "$log")
packages_cpu=$(sed -n "s/^packages' processor time //p" "$log")
printf 'first start on %d cores, load average %s:\n' "$(nproc)" "$(cut -d ' ' -f 1-3 /proc/loadavg)"
printf '  the window was mapped %d s after bash scripts/run.sh started (processor time %d s)\n' "$total" "$cpu"
printf '  packages %d s (processor time %d s; %s)\n' "$configured" "$packages_cpu" \
  "$(grep -m 1 -o 'Need to get [^ ]* [kMG]B' "$log" || echo 'apt fetched nothing')"
printf '  configure and build %d s (processor time %d s)\n' $((total - configured)) $((cpu - packages_cpu))

#!/usr/bin/env bash
# The Debian package as a new user meets it. cpack makes it from the build;
# apt installs it from the file into a fresh copy of the machine's Debian 12
# root (scripts/debian-root.sh), without what Qt recommends, so that its
# Depends alone must bring what the programs need. Then, as an ordinary user
# with an X display: the window's first start and Exit (no box, exit code 0,
# the settings file made in ~/.config/trellum); the virtual reader as COM1 in
# that file's [Ports], the window again, Connect pressed with the keyboard, a
# card answered, Exit (no box, exit code 0, the file kept), all read from the
# session record; trellum-check's acceptance run of the reader as COM1 of the
# same file; the manual pages. Last, apt remove --purge leaves none of the
# package's files. A screenshot of the window with the card is kept in the
# work folder.
#
# It runs in mount and PID namespaces of its own (scripts/fresh-root.sh).
# Without root it cannot make them, nor run apt in the root: it says so and
# exits 77, which CTest reports as skipped.
#
#   package_test.sh --build BUILD --cpack CPACK --work DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/fresh-root.sh
source "$source_dir/scripts/fresh-root.sh"
# How long one wait for the window, the reader or a record line may last.
WAIT=60

inside=0
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --cpack) cpack=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --root) cached_root=$2; shift 2 ;;
    --deb) deb=$2; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "package_test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

# The time since the test started, also inside the namespaces.
export TRELLUM_PACKAGE_TEST_START=${TRELLUM_PACKAGE_TEST_START:-$(date +%s)}
log() { printf '[package %3d s] %s\n' $(($(date +%s) - TRELLUM_PACKAGE_TEST_START)) "$*"; }
fail() {
  log "FAILED: $*"
  exit 1
}

outside() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: needs root, to make a Debian root with debootstrap, to run apt in it and to mount its" \
      "/proc and /dev/pts (bash scripts/test.sh runs as root)"
    exit 77
  fi
  rm -rf "$work"
  mkdir -p "$work/packages"
  "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/packages" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB"; }
  local debs=("$work"/packages/trellum_*_amd64.deb)
  [ -f "${debs[0]}" ] || fail "cpack made no trellum_<version>_amd64.deb: $(ls "$work/packages")"
  log "made ${debs[0]##*/}"
  local root
  root=$(bash "$source_dir/scripts/debian-root.sh")
  log "Debian root $root"
  local status=0
  unshare --mount --pid --fork --kill-child --mount-proc \
    bash "$0" --inside --work "$work" --root "$root" --deb "${debs[0]}" || status=$?
  # The namespace's mounts ended with it: the copy is plain files now.
  rm -rf "$work/root"
  return $status
}

# --- inside the namespaces ---------------------------------------------------

in_root() { timeout 600 chroot "$r" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# The command prefix that runs a command as the user (set once the display is
# known).
as_user=()
on_display() { DISPLAY=$display timeout "$WAIT" xdotool "$@"; }

# wait_for WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
  local what=$1 deadline=$((SECONDS + WAIT))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "no $what within $WAIT s"
    sleep 0.1
  done
}
recorded() { grep -qE "^[^ ]+ $1\$" "$r/home/tester/record.txt" 2>/dev/null; }
# A card code in the log, then the event response "0" (~0) sent for it.
card_answered() {
  awk '/ log [0-9]+:[0-9]+$/ { card = 1 } card && / tx 7E$/ { tilde = 1; next } tilde && / tx 30$/ { found = 1 }
       { tilde = 0 } END { exit !found }' "$r/home/tester/record.txt" 2>/dev/null
}

# Starts the window as the user, recording the session, and gives it the
# focus: sets window_pid and window. Connect holds the focus when the window
# is first activated.
start_window() {
  "${as_user[@]}" trellum --record /home/tester/record.txt >> "$work/window.out" 2>&1 &
  window_pid=$!
  window=$(on_display search --sync --onlyvisible --name '^Velmora$' | head -n 1) || fail "no Velmora window"
  on_display windowfocus --sync "$window"
}
# Alt+X: the window ends with 0, and no error box was shown.
exit_window() {
  on_display key alt+x
  local code=0
  wait "$window_pid" || code=$?
  window_pid=""
  [ "$code" = 0 ] || fail "the window ended with $code"
  if grep -E '^[^ ]+ error ' "$r/home/tester/record.txt"; then fail "the window showed an error box (above)"; fi
}

cleanup() {
  local pid
  for pid in ${window_pid:-} ${reader_pid:-} ${xvfb_pid:-}; do kill "$pid" 2>/dev/null || true; done
  if [ -f "$r/home/tester/record.txt" ] && [ "${passed:-0}" != 1 ]; then
    log "the session record:"
    cat "$r/home/tester/record.txt"
    log "the window's output:"
    cat "$work/window.out" 2>/dev/null || true
  fi
}

inside_namespaces() {
  trap cleanup EXIT
  r=$work/root
  fresh_root "$cached_root" "$r"
  log "copied the root ($(du -shx "$r" | cut -f1))"

  in_root apt-get update -qq || fail "apt-get update in the root"
  in_root dpkg-query -W -f '${Package}\n' | sort > "$work/before"
  cp "$deb" "$r/tmp/"
  in_root apt-get install -y -qq --no-install-recommends "/tmp/${deb##*/}" > "$work/apt-install.log" 2>&1 ||
    { cat "$work/apt-install.log"; fail "apt-get install ./${deb##*/}"; }
  in_root dpkg-query -W -f '${Package}\n' | sort > "$work/after"
  local added
  added=$(comm -13 "$work/before" "$work/after")
  log "apt installed $(echo "$added" | wc -l) packages: $(echo "$added" | tr '\n' ' ')"
  for wanted in trellum libqt6widgets6 libqt6gui6 libqt6core6; do
    grep -qx "$wanted" <<< "$added" || fail "apt did not install $wanted"
  done
  if grep -E -e '-dev$' -e '^(g\+\+|gcc|cpp|cmake|make|gettext|binutils|qt6-base-dev-tools|dpkg-dev)(-|$)' <<< "$added"; then
    fail "the package brought build tools (above)"
  fi
  local depends
  depends=$(in_root dpkg-query -W -f '${Depends}' trellum)
  log "Depends: $depends"
  # Each dependency is a shared library that one of the programs links.
  if tr ',' '\n' <<< "$depends" | sed 's/^ *//; s/[ (].*//' | grep -v '^lib'; then
    fail "Depends names packages that are not libraries (above)"
  fi
  in_root dpkg -L trellum > "$work/files"

  in_root useradd --create-home --shell /bin/bash tester

  start_xvfb "$work" || fail "Xvfb did not start"
  as_user=(chroot --userspec=tester:tester "$r" env -i HOME=/home/tester USER=tester LOGNAME=tester
    PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display")
  local found
  found=$("${as_user[@]}" sh -c 'for p in trellum trellum-check trellum-reader; do command -v "$p"; done')
  [ "$found" = "$(printf '/usr/bin/%s\n' trellum trellum-check trellum-reader)" ] ||
    fail "the programs are not on the user's PATH: $found"
  if "${as_user[@]}" test -w /usr/lib/trellum; then fail "the user may write the programs' folder"; fi

  # A new user's first start writes the settings file in the user's folder,
  # which it makes.
  local start=$SECONDS
  start_window
  log "the window is mapped, $((SECONDS - start)) s after its start"
  exit_window
  local settings=$r/home/tester/.config/trellum/trellum.INI
  [ "$(cat "$settings" 2>&1)" = "$(printf '[Settings]\nPort=0')" ] ||
    fail "~/.config/trellum/trellum.INI holds $(cat "$settings" 2>&1), not Port=0 alone"
  log "Exit: exit code 0, no box, ~/.config/trellum/trellum.INI holds Port=0"

  "${as_user[@]}" trellum-reader --period 1000 > "$r/tmp/reader.out" 2> "$r/tmp/reader.err" < /dev/null &
  reader_pid=$!
  wait_for "virtual reader" grep -q '^device ' "$r/tmp/reader.out"
  local device
  device=$(sed -n 's/^device //p' "$r/tmp/reader.out" | head -n 1)
  "${as_user[@]}" sh -c 'printf "[Ports]\nCOM1=%s\n" "$1" >> "$HOME/.config/trellum/trellum.INI"' - "$device"

  # COM1 is the reader by the user's [Ports].
  start_window
  on_display key space
  wait_for "connect in the record" recorded "connect COM1 [0-9]+"
  wait_for "card answered in the record" card_answered
  log "connected to $device; a card is in the log and answered: $(grep -E -m 1 ' log [0-9]{5}:' "$r/home/tester/record.txt")"
  # New log lines reach the screen on a tick of the clock.
  sleep 0.5
  convert "xwd:$work/Xvfb_screen0" "$work/shot.png"
  log "screenshot $work/shot.png"
  exit_window
  [ "$(cat "$settings")" = "$(printf '[Settings]\nPort=0\n[Ports]\nCOM1=%s' "$device")" ] ||
    fail "~/.config/trellum/trellum.INI holds $(cat "$settings")"
  [ ! -e "$r/usr/lib/trellum/trellum.INI" ] || fail "a settings file beside the programs"
  log "Exit: exit code 0, no box, Port=0 and [Ports] kept"

  local code=0
  timeout 120 "${as_user[@]}" trellum-check test COM1 --model Brenta --speed 9600 --cards 1 > "$work/check.out" 2>&1 || code=$?
  [ "$code" = 0 ] && grep -q '^PASSED' "$work/check.out" ||
    { cat "$work/check.out"; fail "trellum-check test COM1 ended with $code"; }
  log "trellum-check test COM1 (the user's [Ports]): $(grep '^PASSED' "$work/check.out")"

  MANWIDTH=100 man -M "$r/usr/share/man" trellum-check 2> "$work/man.err" | col -b > "$work/man.txt"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "man trellum-check warns"; }
  for heading in SYNOPSIS COMMANDS OPTIONS 'EXIT STATUS' FILES; do
    grep -qx "$heading" "$work/man.txt" || fail "man trellum-check has no $heading"
  done
  MANWIDTH=100 man -M "$r/usr/share/man" trellum > /dev/null 2> "$work/man.err"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "man trellum warns"; }
  log "man trellum-check and man trellum find their pages, which render without a warning"

  kill "$reader_pid"
  wait "$reader_pid" 2>/dev/null || true
  reader_pid=""
  in_root apt-get remove --purge -y -qq trellum > "$work/apt-remove.log" 2>&1 ||
    { cat "$work/apt-remove.log"; fail "apt-get remove --purge trellum"; }
  local left
  left=$(while read -r path; do
    if [ -L "$r$path" ] || [ -f "$r$path" ] || { [ -d "$r$path" ] && [[ $path == */trellum ]]; }; then echo "$path"; fi
  done < "$work/files")
  [ -z "$left" ] || fail "apt remove --purge left $left"
  if in_root dpkg-query -W trellum > /dev/null 2>&1; then fail "dpkg still knows trellum after the purge"; fi
  log "apt remove --purge left none of its $(wc -l < "$work/files") paths"
  passed=1
  log "PASSED"
}

if [ "$inside" = 1 ]; then
  inside_namespaces
else
  outside
fi

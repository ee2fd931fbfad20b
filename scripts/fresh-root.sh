# For the scripts that try the project as a new user on a fresh Debian 12
# machine: the package test (tests/package) and the measurement of the first
# start (scripts/first-start.sh). Each takes a fresh copy of the machine's
# Debian root (scripts/debian-root.sh) and runs in mount and PID namespaces of
# its own (unshare), so that its mounts and processes end with it.

# fresh_root CACHED COPY: copies the root CACHED to COPY and mounts in it what
# programs there need: /proc, a /dev/pts of its own, the X servers' socket
# folder; apt there resolves names as this machine does.
fresh_root() {
  local cached=$1 copy=$2
  cp -a "$cached" "$copy"
  mount -t proc proc "$copy/proc"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$copy/dev/pts"
  mount --bind "$copy/dev/pts/ptmx" "$copy/dev/ptmx"
  mkdir -p /tmp/.X11-unix "$copy/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$copy/tmp/.X11-unix"
  cp /etc/resolv.conf "$copy/etc/resolv.conf"
}

# start_xvfb FOLDER: starts an X server that stands for the user's desktop,
# with its screen mapped into FOLDER/Xvfb_screen0 (an XWD image); sets
# `display` and `xvfb_pid`.
start_xvfb() {
  local folder=$1 deadline=$((SECONDS + 30))
  rm -f "$folder/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -fbdir "$folder" 3> "$folder/display" \
    > "$folder/xvfb.log" 2>&1 &
  xvfb_pid=$!
  until [ -s "$folder/display" ]; do
    if [ $SECONDS -ge $deadline ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      cat "$folder/xvfb.log" >&2
      return 1
    fi
    sleep 0.1
  done
  display=:$(head -n 1 "$folder/display")
}

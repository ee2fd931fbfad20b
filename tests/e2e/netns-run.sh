#!/bin/sh
# Runs a test program in a network namespace of its own, where it may drop
# packets with nftables without touching the machine's network; its traffic
# all runs on the loopback. ser2net looks its address up with AI_ADDRCONFIG,
# which finds nothing while the loopback is the only interface: a tun device
# with a link-local address, which carries nothing, gives it one. Where the
# namespace cannot be made, this says why and exits 77 (CTest: skipped).
if [ "$1" = --inside ]; then
  shift
  if ! reason=$(ip link set lo up 2>&1 && ip tuntap add dev t0 mode tun 2>&1 &&
      ip addr add 169.254.77.1/32 dev t0 2>&1 && ip link set t0 up 2>&1); then
    echo "skipped: the namespace's interfaces could not be set up: $reason"
    exit 77
  fi
  exec "$@"
fi
if ! reason=$(unshare -n true 2>&1); then
  echo "skipped: no network namespace can be made here: $reason"
  exit 77
fi
exec unshare -n sh "$0" --inside "$@"

#!/bin/busybox sh
# The rig guest's init: mounts the kernel's file systems, loads the USB serial
# drivers, runs the guest programs with their output on the console and
# powers off. "@rig ..." lines tell the host script how far it got. The root
# is the initramfs in memory and writable: nothing is mounted over /tmp,
# where a build folder's programs (the reader's relay) may lie.
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod /lib/modules/$module.ko || echo "@rig insmod $module failed"
done
# ftdi_sio binds the adapter a moment after its module is in.
for i in $(seq 50); do
  [ -e /dev/ttyUSB0 ] && break
  sleep 0.1
done
stty -F /dev/ttyS3 raw -echo
export HOME=/root TMPDIR=/tmp QT_QPA_PLATFORM=offscreen
echo "@rig guest up after $(cut -d' ' -f1 /proc/uptime) s"
filter=$(sed -n 's/.*rig_filter=\([^ ]*\).*/\1/p' /proc/cmdline)
/rig/hw_guest_tests --gtest_color=no --gtest_filter="${filter:-*}" 2>&1
echo "@rig guest exit $?"
# The figure of the idle benchmark, measured while nothing else runs.
[ "$filter" = "*" ] || [ -z "$filter" ] && /rig/bench_idle_wakeups /dev/ttyS1 10
poweroff -f

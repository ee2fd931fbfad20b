#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
set -euo pipefail
packages=(
  cmake g++ make
  qt6-base-dev            # Qt Core, Gui, Widgets and Test
  libgtest-dev            # GoogleTest
  gettext                 # msgfmt for the catalogues
  ccache                  # compiler cache shared by the test command's four builds
  clang libclang-rt-14-dev  # libFuzzer with ASan and UBSan
  fonts-dejavu-core fonts-liberation2  # stand-ins for the window's fonts
  xvfb                    # an X display for the painting benchmark
  qemu-system-x86 busybox-static python3  # the guest rig of tests/hw
)
# The Windows cross build and its tests under Wine, without what they recommend
# (Wine's recommendations pull in a desktop's worth of libraries).
windows_packages=(
  g++-mingw-w64-x86-64-posix  # mingw-w64 with posix threads
  wine wine64                 # runs the Windows tests
  googletest                  # GoogleTest sources, built within the cross build
  python3                     # the Wine tests' harness
)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "${packages[@]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${windows_packages[@]}"

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
)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "${packages[@]}"

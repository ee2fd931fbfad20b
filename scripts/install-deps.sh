#!/usr/bin/env bash
# Installs the Debian packages, then for the tests the QEMU rig's guest
# kernel into the machine's cache (scripts/cache.sh). The Windows build's Qt
# and libintl, built from Debian's sources into the same cache, come with the
# test command's install step (scripts/windows/).
#   install-deps.sh         what building, running and testing need
#   install-deps.sh --run   what building and running the programs need
#                           (scripts/run.sh), none of the test tools
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run_only=0
case ${1:-} in
  "") ;;
  --run) run_only=1 ;;
  *) echo "install-deps.sh: unknown option $1 (--run or none)" >&2; exit 2 ;;
esac
run_packages=(
  cmake g++ make
  qt6-base-dev            # Qt Core, Gui, Widgets (and Test)
  gettext                 # msgfmt for the catalogues
  fonts-dejavu-core fonts-liberation2  # stand-ins for the window's fonts
)
test_packages=(
  ninja-build
  libgtest-dev            # GoogleTest
  ccache                  # compiler cache shared by the test command's builds
  clang libclang-rt-14-dev  # libFuzzer with ASan and UBSan
  xvfb imagemagick xdotool  # an X display for the painting benchmark, the real windows, screenshots
  qemu-system-x86 busybox-static python3  # the guest rig of tests/hw
  stress-ng               # the load step of the test command
  ser2net                 # a real RFC 2217 and raw TCP server in front of the virtual reader
  nftables iproute2       # a network path cut in a namespace of the test's own
  debootstrap desktop-file-utils man-db bsdextrautils  # the Debian package tried in a fresh root (tests/package)
)
# Without what they recommend: the Windows cross build and its tests under
# Wine (Wine's recommendations pull in a desktop's worth of libraries), and
# the Debian packaging tools.
windows_packages=(
  g++-mingw-w64-x86-64-posix  # mingw-w64 with posix threads
  wine wine64                 # runs the Windows tests
  googletest                  # GoogleTest sources, built within the cross build
  dpkg-dev                    # unpacks Debian's source packages of Qt and gettext; dpkg-shlibdeps
                              # for the Debian package
)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Without what they recommend, which building and running do not need (Qt's
# recommendations alone bring GTK and systemd: 100 packages, 50 MB).
if [ "$run_only" = 1 ]; then
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${run_packages[@]}"
  exit 0
fi

# Qt's and gettext's sources come from the mirror apt already uses, which needs
# a deb-src entry beside its deb entry.
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/trellum-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $SUDO tee /etc/apt/sources.list.d/trellum-deb-src.list >/dev/null
  fi
fi
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "${run_packages[@]}" "${test_packages[@]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${windows_packages[@]}"

bash "$here/fetch-guest-kernel.sh" >/dev/null

#!/usr/bin/env bash
# Fetches the kernel that Debian's linux-image-amd64 points to (its package,
# with apt-get download) and unpacks it into the machine's cache, where the
# QEMU rig (tests/hw/rig.py) boots it; prints the unpacked folder.
#   fetch-guest-kernel.sh          fetches unless the cache has it
#   fetch-guest-kernel.sh --print  prints the folder of the newest kernel in the cache
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=cache.sh
source "$here/cache.sh"
kernels=$(cache_root)/guest-kernel

if [ "${1:-}" = --print ]; then
  newest=$(find "$kernels" -mindepth 1 -maxdepth 1 -name 'linux-*' 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$newest" ]; then
    echo "no guest kernel in $kernels: run scripts/install-deps.sh (or scripts/fetch-guest-kernel.sh)" >&2
    exit 1
  fi
  echo "$newest"
  exit 0
fi

package=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-6\.[0-9.]*-[0-9]*-amd64\)$/\1/p' | head -n 1)
if [ -z "$package" ]; then
  echo "fetch-guest-kernel.sh: linux-image-amd64 names no 6.x kernel" >&2
  exit 1
fi
final=$kernels/${package/linux-image-/linux-}
fetch() {
  [ -d "$final" ] && return 0
  local tmp
  tmp=$(mktemp -d "$(cache_root)/tmp.XXXXXX")
  echo "guest kernel: downloading $package" >&2
  (cd "$tmp" && apt-get download "$package" >/dev/null 2>&1 && dpkg-deb -x ./*.deb root && rm ./*.deb)
  mkdir -p "$kernels"
  publish "$tmp" "$final"
}
if [ ! -d "$final" ]; then with_cache_lock fetch; fi
echo "$final"

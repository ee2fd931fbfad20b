#!/usr/bin/env bash
# Makes a fresh Debian 12 root (debootstrap's minbase, from the mirror and
# with the Debian sources that apt on this machine uses) once per machine in
# its cache (scripts/cache.sh), and prints its folder. It stands for a new
# user's machine: the package test (tests/package) and the measurement of
# scripts/run.sh's first start copy it afresh for each run and never change
# it. Needs root and debootstrap (scripts/install-deps.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=cache.sh
source "$here/cache.sh"
suite=bookworm

# The machine's Debian sources, binary packages only: the deb822 file of a
# Debian 12 installation, else the "deb" lines of sources.list.
sources_file() {
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    echo /etc/apt/sources.list.d/debian.sources
  else
    echo /etc/apt/sources.list
  fi
}
mirror() {
  local file
  file=$(sources_file)
  if [[ $file == *.sources ]]; then
    awk '/^URIs:/ { print $2; exit }' "$file"
  else
    awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; exit } }' "$file"
  fi
}

source_list=$(sources_file)
url=$(mirror)
if [ -z "$url" ]; then
  echo "debian-root.sh: no Debian mirror in $source_list" >&2
  exit 1
fi
final=$(cache_root)/debian-root/$suite-$(cache_key "$here/debian-root.sh" "$source_list" "$url")

make_root() {
  [ -d "$final" ] && return 0
  local tmp start=$SECONDS
  tmp=$(mktemp -d "$(cache_root)/tmp.XXXXXX")
  echo "Debian root: debootstrap $suite from $url" >&2
  # debootstrap mounts /proc and /sys in the root while it works: in a mount
  # namespace of its own, an interrupted run leaves no mount behind.
  if ! unshare --mount debootstrap --variant=minbase "$suite" "$tmp/root" "$url" > "$tmp/debootstrap.log" 2>&1; then
    tail -n 20 "$tmp/debootstrap.log" >&2
    return 1
  fi
  if [[ $source_list == *.sources ]]; then
    rm -f "$tmp/root/etc/apt/sources.list"
    cp "$source_list" "$tmp/root/etc/apt/sources.list.d/debian.sources"
  else
    grep '^deb ' "$source_list" > "$tmp/root/etc/apt/sources.list"
  fi
  rm -rf "$tmp/root/var/lib/apt/lists/"* "$tmp/root/var/cache/apt/archives/"*.deb
  mkdir -p "$(dirname "$final")"
  publish "$tmp/root" "$final"
  rm -rf "$tmp"
  echo "Debian root: made in $((SECONDS - start)) s, $(du -sh "$final" | cut -f1)" >&2
}
if [ ! -d "$final" ]; then with_cache_lock make_root; fi
echo "$final"

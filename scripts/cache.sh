# Shared by the scripts that build the Windows program's libraries from
# Debian's source packages. Each build lands in a folder of the machine-wide
# cache named after its version and a key of everything that shapes it, so
# that every clone on the machine, CI included, finds a finished build and
# builds nothing. A build is made in a temporary folder beside its final place
# and renamed into place only when complete: an interrupted build never leaves
# a folder that looks whole.

# The cache's root: TRELLUM_CACHE, else /var/cache/trellum, else the user's
# cache folder when /var/cache is not writable.
cache_root() {
  if [ -n "${TRELLUM_CACHE:-}" ]; then
    echo "$TRELLUM_CACHE"
  elif mkdir -p /var/cache/trellum 2>/dev/null && [ -w /var/cache/trellum ]; then
    echo /var/cache/trellum
  else
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/trellum"
  fi
}

# cache_key FILE... VALUE...: the first 12 hex digits of a hash over the
# named files' contents and the other words.
cache_key() {
  local arg
  for arg in "$@"; do
    if [ -f "$arg" ]; then cat "$arg"; else printf '%s\n' "$arg"; fi
  done | sha256sum | cut -c1-12
}

# source_version PACKAGE: the version of a source package that apt would fetch
# for the installed binary package BINARY.
installed_version() {
  dpkg-query -W -f='${Version}' "$1"
}

# fetch_source PACKAGE VERSION DIR: unpacks Debian's source package into DIR.
# apt needs a deb-src entry, which scripts/install-deps.sh adds.
fetch_source() {
  local package=$1 version=$2 dir=$3
  mkdir -p "$dir"
  if ! (cd "$dir" && apt-get source --download-only "$package=$version" >/dev/null 2>&1); then
    echo "apt-get source $package=$version failed: run scripts/install-deps.sh, which adds the deb-src entry" >&2
    return 1
  fi
  (cd "$dir" && dpkg-source --no-check -x ./*.dsc src >/dev/null)
}

# with_cache_lock COMMAND...: runs COMMAND with the cache's lock held, so that
# two clones starting at once build once; leftovers of an interrupted build
# are removed first.
with_cache_lock() {
  local root
  root=$(cache_root)
  mkdir -p "$root"
  (
    flock 9
    rm -rf "$root"/tmp.*
    "$@"
  ) 9>"$root/.lock"
}

# publish TMP FINAL: moves a complete build into place.
publish() {
  mv -T "$1" "$2"
}

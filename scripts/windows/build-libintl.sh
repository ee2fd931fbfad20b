#!/usr/bin/env bash
# Builds GNU libintl (the gettext runtime's intl library, as libintl-8.dll)
# for 64-bit Windows with mingw-w64 from Debian's own gettext source package,
# once per machine, into the cache (scripts/cache.sh), so that the Windows
# program reads the same message catalogues as the Linux one. Built without
# iconv: the catalogues are UTF-8, which is what the program asks for.
#
#   build-libintl.sh           builds unless the cache has it, then prints its folder
#   build-libintl.sh --prefix  prints the folder only
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cache.sh
source "$here/../cache.sh"

version=$(installed_version gettext)
upstream=${version%%-*}
key=$(cache_key "$here/build-libintl.sh" "$version" "$(x86_64-w64-mingw32-gcc-posix -dumpfullversion)")
prefix=$(cache_root)/libintl-$upstream-mingw-$key

if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi

build() {
  if [ -d "$prefix" ]; then return 0; fi
  local tmp started=$SECONDS
  tmp=$(mktemp -d "$(cache_root)/tmp.XXXXXX")
  echo "libintl $version for mingw-w64: not in the cache, building into $prefix" >&2
  fetch_source gettext "$version" "$tmp"
  mkdir -p "$tmp/build"
  # Debian's patches leave the autotools files newer than what they generate:
  # the make calls keep the generated ones instead of running the autotools.
  local keep=(ACLOCAL=: AUTOMAKE=: AUTOCONF=: AUTOHEADER=: MAKEINFO=:)
  (cd "$tmp/build" && "$tmp/src/gettext-runtime/configure" --host=x86_64-w64-mingw32 \
    CC=x86_64-w64-mingw32-gcc-posix --prefix="$tmp/prefix" --enable-shared --disable-static \
    --disable-java --disable-csharp --disable-libasprintf --disable-openmp --disable-curses \
    --without-libiconv-prefix --without-libintl-prefix --disable-rpath >configure.log 2>&1 &&
    make -C intl -j "$(nproc)" "${keep[@]}" >build.log 2>&1 &&
    make -C intl install "${keep[@]}" >install.log 2>&1) ||
    { tail -n 30 "$tmp"/build/*.log >&2; return 1; }
  x86_64-w64-mingw32-strip --strip-unneeded "$tmp/prefix/bin/libintl-8.dll"
  publish "$tmp/prefix" "$prefix"
  rm -rf "$tmp"
  echo "libintl: built and installed in $((SECONDS - started)) s in $prefix" >&2
}

if [ -d "$prefix" ]; then
  echo "libintl for mingw-w64: cached in $prefix" >&2
else
  with_cache_lock build
fi
echo "$prefix"

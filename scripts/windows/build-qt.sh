#!/usr/bin/env bash
# Builds Qt's base module for 64-bit Windows (mingw-w64, posix threads) from
# Debian's own qt6-base source package, the same version as the native Qt that
# serves as the host Qt (moc, rcc, uic). Core, Gui, Widgets and Test with the
# windows and offscreen platform plugins and the Windows style; what the
# program does not use is switched off. Installed once per machine into the
# cache (scripts/cache.sh) and kept there; docs/windows.md gives the time it
# takes.
#
#   build-qt.sh           builds unless the cache has it, then prints its folder
#   build-qt.sh --prefix  prints the folder only
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../cache.sh
source "$here/../cache.sh"
toolchain=$here/../../cmake/toolchains/mingw-w64-x86_64-posix.cmake

version=$(installed_version qt6-base-dev)
upstream=${version%%+*}
# What shapes the build: Qt's configuration below, and the steps of build()
# (raise `recipe` when they change). Comments of this script are not part of it.
recipe=1
options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF
  -DFEATURE_pkg_config=OFF -DFEATURE_dbus=OFF
  -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_icu=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_zstd=OFF -DFEATURE_androiddeployqt=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_system_libb2=OFF
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON
)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
key=$(cache_key "$toolchain" "$version" "$compiler" "recipe $recipe" "${options[@]}")
prefix=$(cache_root)/qt-$upstream-mingw-$key

if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi

build() {
  if [ -d "$prefix" ]; then return 0; fi
  local tmp started=$SECONDS
  tmp=$(mktemp -d "$(cache_root)/tmp.XXXXXX")
  echo "Qt $version for mingw-w64: not in the cache, building into $prefix" >&2
  fetch_source qt6-base "$version" "$tmp"
  echo "Qt: source unpacked ($((SECONDS - started)) s); configuring" >&2
  cmake -S "$tmp/src" -B "$tmp/build" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$tmp/prefix" "${options[@]}" >"$tmp/configure.log" 2>&1 ||
    { tail -n 40 "$tmp/configure.log" >&2; return 1; }
  echo "Qt: configured ($((SECONDS - started)) s); building (about 1000 steps)" >&2
  cmake --build "$tmp/build" -j "$(nproc)" >"$tmp/build.log" 2>&1 ||
    { grep -B5 -A20 -m3 'FAILED' "$tmp/build.log" >&2 || tail -n 40 "$tmp/build.log" >&2; return 1; }
  cmake --install "$tmp/build" --strip >"$tmp/install.log" 2>&1 ||
    { tail -n 20 "$tmp/install.log" >&2; return 1; }
  publish "$tmp/prefix" "$prefix"
  rm -rf "$tmp"
  echo "Qt: built and installed in $((SECONDS - started)) s, $(du -sh "$prefix" | cut -f1) in $prefix" >&2
}

if [ -d "$prefix" ]; then
  echo "Qt for mingw-w64: cached in $prefix" >&2
else
  with_cache_lock build
fi
echo "$prefix"

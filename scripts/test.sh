#!/usr/bin/env bash
# Installs what is needed, builds everything, runs the serial port component's
# tests under ThreadSanitizer, then every test of the project with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-tsan -DTRELLUM_COMPONENT_ONLY=ON -DTRELLUM_SANITIZER=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-tsan -j "$jobs"
# Without address randomisation: ThreadSanitizer's memory layout breaks on
# kernels that randomise more address bits than Debian's default.
( cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/../tests/tsan.supp" \
    setarch "$(uname -m)" -R ctest --output-on-failure -j "$jobs" --timeout 600 )

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 900
cd ..

# Windows: everything without Qt cross-built with mingw-w64, its tests run
# under Wine with COM1 on a pseudo-terminal.
start=$(date +%s)
cmake --preset mingw-wine
cmake --build --preset mingw-wine -j "$jobs"
ctest --preset mingw-wine --timeout 300
echo "Windows cross build and Wine tests took $(( $(date +%s) - start )) s"

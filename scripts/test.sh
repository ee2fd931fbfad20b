#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test four ways, warnings
# as errors throughout: the serial port component under ThreadSanitizer, the
# window's tests over pseudo-terminals under ThreadSanitizer, the whole suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the whole suite
# in a plain build with the soak and the fuzzer. Each CTest run holds one
# `whole` test per test binary besides the tests one by one. Prints the time
# of each step, and ends with the plain run's CTest summary.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CCACHE_BASEDIR=$PWD
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

times=()
started=$SECONDS
step() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  times+=("$(printf '%-44s %5d s' "$name" $((SECONDS - start)))")
}
# build_tree <folder> "<targets, or empty for all>" <cmake options...>
build_tree() {
  local dir=$1 targets=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLUM_WERROR=ON "${launcher[@]}" "$@"
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$jobs" ${targets:+--target $targets}
}
# ctest in a build folder, its output kept in ctest.log there.
run_ctest() {
  local dir=$1
  shift
  (cd "$dir" && "$@" --output-on-failure -j "$jobs" 2>&1 | tee ctest.log)
}

step "install packages" bash scripts/install-deps.sh

# ThreadSanitizer runs without address randomisation: its memory layout
# breaks on kernels that randomise more address bits than Debian's default.
tsan_options="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
step "component, ThreadSanitizer: build" build_tree build-tsan "" -DTRELLUM_COMPONENT_ONLY=ON -DTRELLUM_SANITIZER=thread
step "component, ThreadSanitizer: tests" run_ctest build-tsan \
  env TSAN_OPTIONS="$tsan_options" setarch "$(uname -m)" -R ctest --timeout 600

# Of the window's tests, those where the component runs its event thread
# on a real device: the pseudo-terminal tests.
step "window over ptys, ThreadSanitizer: build" build_tree build-tsan-ui ui_tests -DTRELLUM_SANITIZER=thread
step "window over ptys, ThreadSanitizer: tests" run_ctest build-tsan-ui \
  env TSAN_OPTIONS="$tsan_options" setarch "$(uname -m)" -R ctest --timeout 600 -R '^ui\.PseudoTerminal\.'

sanitizer_options="halt_on_error=1 print_stacktrace=1"
step "suite, Address+UB sanitizers: build" build_tree build-asan "" -DTRELLUM_SANITIZER=address,undefined
step "suite, Address+UB sanitizers: tests" run_ctest build-asan \
  env ASAN_OPTIONS="detect_leaks=1 $sanitizer_options" UBSAN_OPTIONS="$sanitizer_options" \
  ctest --timeout 900 -LE 'soak|fuzz|hw'

# Windows: everything without Qt cross-built with mingw-w64, its tests run
# under Wine with COM1 on a pseudo-terminal that the harness holds.
step "Windows cross build (mingw-w64)" cmake --preset mingw-wine -DTRELLUM_WERROR=ON "${launcher[@]}"
step "Windows cross build: build" cmake --build --preset mingw-wine -j "$jobs"
step "Windows cross build: tests under Wine" ctest --preset mingw-wine --timeout 300

step "suite, plain: build" build_tree build ""
step "suite, plain: tests" run_ctest build ctest --timeout 900

echo "== Time of each step on $jobs cores"
printf '%s\n' "${times[@]}"
printf 'Total: %d min %d s\n' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
grep -E '^[0-9]+% tests passed' build/ctest.log | tail -n 1

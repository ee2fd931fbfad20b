#!/usr/bin/env bash
# The test command. Installs what is needed, then builds and runs every test,
# warnings as errors throughout, in steps:
#
#   tsan      the serial port component, and the window's and trellum-check's
#             tests over pseudo-terminals, under ThreadSanitizer
#   asan      the whole suite under AddressSanitizer and
#             UndefinedBehaviorSanitizer
#   windows   the whole program cross-built for Windows, its tests under Wine
#   plain     the whole suite in a plain build, with the soak, the fuzzers
#             and the QEMU rig
#   load      (not run by default) every CTest run of the other steps three
#             times while stress-ng keeps every core busy; builds nothing that
#             is not built yet
#
#   bash scripts/test.sh                   install, then every default step
#   bash scripts/test.sh STEP...           install, then the named steps
#   bash scripts/test.sh --no-install ...  without the package step
#   bash scripts/test.sh --list            the steps
#
# Each CTest run holds one `whole` test per test binary besides the tests one
# by one. Prints the time of each step, and ends with the CTest summaries.
set -euo pipefail
cd "$(dirname "$0")/.."

default_steps=(tsan asan windows plain)
all_steps=("${default_steps[@]}" load)
install=1
steps=()
for arg in "$@"; do
  case $arg in
    --list) printf '%s\n' "${default_steps[@]}" "load (not by default)"; exit 0 ;;
    --no-install) install=0 ;;
    -*) echo "test.sh: unknown option $arg (try --list)" >&2; exit 2 ;;
    *)
      if [[ " ${all_steps[*]} " != *" $arg "* ]]; then
        echo "test.sh: no step '$arg'; the steps are: ${all_steps[*]}" >&2
        exit 2
      fi
      steps+=("$arg") ;;
  esac
done
if [ ${#steps[@]} -eq 0 ]; then steps=("${default_steps[@]}"); fi

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CCACHE_BASEDIR=$PWD
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

times=()
summaries=()
started=$SECONDS
current=""
timed() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  current=$name
  "$@"
  current=""
  times+=("$(printf '%-44s %5d s' "$name" $((SECONDS - start)))")
}
# The times so far, also when a step fails.
report() {
  echo "== Time of each step on $jobs cores"
  printf '%s\n' "${times[@]}"
  printf 'Total: %d min %d s\n' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
  printf '%s\n' "${summaries[@]}"
  if [ -n "$current" ]; then echo "FAILED: $current"; fi
}
trap report EXIT
# build_tree <folder> "<targets, or empty for all>" <cmake options...>
build_tree() {
  local dir=$1 targets=$2
  shift 2
  # A build/ that scripts/run.sh made has no tests until they are asked for.
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLUM_WERROR=ON -DBUILD_TESTING=ON "${launcher[@]}" "$@"
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$jobs" ${targets:+--target $targets}
}
# run_ctest <folder> <command...>: ctest in a build folder, its output kept in
# ctest.log there and its summary kept for the end.
run_ctest() {
  local dir=$1 status=0
  shift
  (cd "$dir" && "$@" --output-on-failure -j "$jobs" 2>&1 | tee ctest.log) || status=$?
  summaries+=("$(printf '%-14s %s' "$dir:" "$(grep -E '^[0-9]+% tests passed' "$dir/ctest.log" | tail -n 1)")")
  return $status
}

# The CTest runs of each step, as commands run in its build folder; the load
# step repeats them. ThreadSanitizer runs without address randomisation: its
# memory layout breaks on kernels that randomise more address bits than
# Debian's default.
tsan_options="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
sanitizer_options="halt_on_error=1 print_stacktrace=1"
tsan_ctest=(env TSAN_OPTIONS="$tsan_options" setarch "$(uname -m)" -R ctest --timeout 600 -L tsan)
asan_ctest=(env ASAN_OPTIONS="detect_leaks=1 $sanitizer_options" UBSAN_OPTIONS="$sanitizer_options"
  ctest --timeout 900 -LE 'soak|fuzz|hw')
windows_ctest=(ctest --timeout 300)
plain_ctest=(ctest --timeout 900)

step_tsan() {
  # The programs in which the component runs its event thread: CMake's
  # target tsan_tests builds them, and their whole runs carry the label tsan.
  timed "ThreadSanitizer: build" build_tree build-tsan tsan_tests -DTRELLUM_SANITIZER=thread
  timed "ThreadSanitizer: tests" run_ctest build-tsan "${tsan_ctest[@]}"
}
step_asan() {
  timed "Address+UB sanitizers: build" build_tree build-asan "" -DTRELLUM_SANITIZER=address,undefined
  timed "Address+UB sanitizers: tests" run_ctest build-asan "${asan_ctest[@]}"
}
step_windows() {
  timed "Windows: cross build" windows_build
  timed "Windows: tests under Wine" run_ctest build-mingw "${windows_ctest[@]}"
}
windows_build() {
  cmake --preset mingw-wine -DTRELLUM_WERROR=ON "${launcher[@]}"
  cmake --build --preset mingw-wine -j "$jobs"
}
step_plain() {
  timed "plain: build" build_tree build ""
  timed "plain: tests" run_ctest build "${plain_ctest[@]}"
}
step_load() {
  command -v stress-ng >/dev/null || { echo "test.sh: load needs stress-ng (scripts/install-deps.sh)" >&2; return 1; }
  local round dir
  stress-ng --cpu "$jobs" --timeout 0 --quiet &
  local stress=$!
  trap 'kill $stress 2>/dev/null || true' RETURN
  for round in 1 2 3; do
    for dir in build-tsan build-asan build-mingw build; do
      [ -f "$dir/CTestTestfile.cmake" ] || continue
      case $dir in
        build-tsan) timed "load $round: $dir" run_ctest "$dir" "${tsan_ctest[@]}" ;;
        build-asan) timed "load $round: $dir" run_ctest "$dir" "${asan_ctest[@]}" ;;
        build-mingw) timed "load $round: $dir" run_ctest "$dir" "${windows_ctest[@]}" ;;
        build) timed "load $round: $dir" run_ctest "$dir" "${plain_ctest[@]}" ;;
      esac
    done
  done
}

if [ "$install" = 1 ]; then
  timed "install packages" bash scripts/install-deps.sh
  # Built once per machine and kept in its cache (docs/windows.md).
  if [[ " ${steps[*]} " == *" windows "* ]]; then
    timed "Qt for Windows (mingw-w64)" bash scripts/windows/build-qt.sh
    timed "libintl for Windows (mingw-w64)" bash scripts/windows/build-libintl.sh
  fi
fi
for step in "${steps[@]}"; do "step_$step"; done

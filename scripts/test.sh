#!/usr/bin/env bash
# The test command. Installs what is needed, then builds and runs every test,
# warnings as errors throughout, in steps:
#
#   tsan      the programs in which the serial port component runs its event
#             thread, each run whole, under ThreadSanitizer
#   asan      every test program run whole under AddressSanitizer and
#             UndefinedBehaviorSanitizer
#   plain     every test one by one in a plain build, with the soak, the
#             fuzzers, the QEMU rig, the install and package checks
#   windows   the whole program cross-built for Windows, its tests under Wine
#   load      (not run by default) every CTest run of the other steps three
#             times while stress-ng keeps every core busy; builds nothing that
#             is not built yet
#
#   bash scripts/test.sh                   install, then every default step
#   bash scripts/test.sh STEP...           install, then the named steps
#   bash scripts/test.sh --no-install ...  without the package step
#   bash scripts/test.sh --list            the steps
#
# A test runs in one tree only, unless the tree is the reason: the sanitizer
# builds run each test program whole (one process, every test), the plain
# build runs each test in a process of its own. Builds use the processors,
# tests mostly wait on their lines: so the steps overlap, each step's tests
# running while the next step builds, one CTest run at a time. Prints the time
# of each build and each CTest run, and ends with the CTest summaries; a step
# that fails is named at the end, after the others have run.
set -euo pipefail
cd "$(dirname "$0")/.."

default_steps=(tsan asan plain windows)
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
# Clones in other folders share the compiler cache: paths below the clone are
# hashed relative to it, and the folder itself is left out of the hash even
# where debug information would name it.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# What the background CTest runs report back: one file a run, in a folder of
# this command's own.
results=$(mktemp -d)
started=$SECONDS
current=""
tests_pid=""
failed=()
# timed <name> <command...>: runs the command, its time kept as "<name> <s>".
timed() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "== $name"
  "$@" || status=$?
  printf '%-44s %5d s\n' "$name" $((SECONDS - start)) >> "$results/times"
  return $status
}
# The times so far, also when a step fails.
report() {
  local status=$?
  if [ -n "$tests_pid" ]; then wait "$tests_pid" || true; fi
  echo "== Time of each step on $jobs cores"
  cat "$results/times" 2>/dev/null || true
  printf 'Total: %d min %d s\n' $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
  cat "$results/summaries" 2>/dev/null || true
  if [ -n "$current" ]; then echo "FAILED: $current"; fi
  if [ -f "$results/failed" ]; then sed 's/^/FAILED: /' "$results/failed"; fi
  rm -rf "$results"
  exit $status
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
  (cd "$dir" && "$@" --output-on-failure -j "$jobs" > ctest.log 2>&1) || status=$?
  printf '%-14s %s\n' "$dir:" "$(grep -E '^[0-9]+% tests passed' "$dir/ctest.log" | tail -n 1)" >> "$results/summaries"
  if [ $status -ne 0 ]; then
    echo "== $dir: tests failed; from $dir/ctest.log:"
    sed -n '/The following tests FAILED/,$p' "$dir/ctest.log"
  fi
  return $status
}
# in_background <step> <name> <command...>: the step's CTest run, after the
# one before it has ended; a failure is kept for the end.
in_background() {
  local step=$1 name=$2
  shift 2
  if [ -n "$tests_pid" ]; then wait "$tests_pid" || true; fi
  ( timed "$name" "$@" || echo "$step" >> "$results/failed" ) &
  tests_pid=$!
}

# The CTest runs of each step, as commands run in its build folder; the load
# step repeats them. ThreadSanitizer runs without address randomisation: its
# memory layout breaks on kernels that randomise more address bits than
# Debian's default.
tsan_options="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
sanitizer_options="halt_on_error=1 print_stacktrace=1"
tsan_ctest=(env TSAN_OPTIONS="$tsan_options" setarch "$(uname -m)" -R ctest --timeout 600 -L tsan)
asan_ctest=(env ASAN_OPTIONS="detect_leaks=1 $sanitizer_options" UBSAN_OPTIONS="$sanitizer_options"
  ctest --timeout 900 -L whole -LE 'soak|fuzz|hw')
plain_ctest=(ctest --timeout 900 -LE whole)
windows_ctest=(ctest --timeout 300)

step_tsan() {
  current="ThreadSanitizer: build"
  timed "ThreadSanitizer: build" build_tree build-tsan tsan_tests -DTRELLUM_SANITIZER=thread
  in_background tsan "ThreadSanitizer: tests" run_ctest build-tsan "${tsan_ctest[@]}"
}
step_asan() {
  current="Address+UB sanitizers: build"
  timed "Address+UB sanitizers: build" build_tree build-asan "" -DTRELLUM_SANITIZER=address,undefined
  in_background asan "Address+UB sanitizers: tests" run_ctest build-asan "${asan_ctest[@]}"
}
step_plain() {
  current="plain: build"
  timed "plain: build" build_tree build ""
  in_background plain "plain: tests" run_ctest build "${plain_ctest[@]}"
}
step_windows() {
  if [ "$install" = 1 ]; then
    current="Qt for Windows (mingw-w64)"
    timed "Qt for Windows (mingw-w64)" bash scripts/windows/build-qt.sh
    current="libintl for Windows (mingw-w64)"
    timed "libintl for Windows (mingw-w64)" bash scripts/windows/build-libintl.sh
  fi
  current="Windows: cross build"
  timed "Windows: cross build" windows_build
  in_background windows "Windows: tests under Wine" run_ctest build-mingw "${windows_ctest[@]}"
}
windows_build() {
  cmake --preset mingw-wine -DTRELLUM_WERROR=ON "${launcher[@]}"
  cmake --build --preset mingw-wine -j "$jobs"
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
      current="load $round: $dir"
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
  current="install packages"
  timed "install packages" bash scripts/install-deps.sh
fi
for step in "${steps[@]}"; do
  if [ "$step" = load ] && [ -n "$tests_pid" ]; then wait "$tests_pid" || true; fi
  "step_$step"
done
current=""
if [ -n "$tests_pid" ]; then wait "$tests_pid" || true; fi
tests_pid=""
if [ -f "$results/failed" ]; then exit 1; fi

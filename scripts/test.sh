#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of the fuzz targets, and the
# Windows cross build under wine. Fails, rather than running less, when a tool the tests need
# is missing, a test label has no tests, or a test script cannot be run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${BRISKO_JOBS:-2}"

scripts/install-deps.sh

missing=""
for tool in cmake ctest ninja clang ld.lld lld-link llvm-ar llvm-nm objcopy perl qemu-i386 fasm \
  x86_64-w64-mingw32-g++; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
source tests/wine/common.sh  # find_program: wine also where Debian keeps it
find_program wine64 wine >/dev/null || missing="$missing wine"
command -v Xvfb >/dev/null 2>&1 || command -v xvfb-run >/dev/null 2>&1 || missing="$missing Xvfb"
if [ -n "$missing" ]; then
  echo "test: missing tools:$missing" >&2
  exit 1
fi
for script in tests/wine/smoke.sh tests/wine/gui.sh; do
  if [ ! -x "$script" ]; then
    echo "test: $script is not executable" >&2
    exit 1
  fi
done

# Every label must hold tests: a suite that was not built or found fails the run.
run_ctest() {
  local preset=$1 label count
  for label in unit system e2e standin; do
    count=$(ctest --preset "$preset" -N -L "^$label\$" | awk '/^Total Tests:/ {print $3}')
    if [ "${count:-0}" -eq 0 ]; then
      echo "test: no $label tests in the $preset build" >&2
      exit 1
    fi
  done
  ctest --preset "$preset" -j "$jobs" --no-tests=error
}

echo "== native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
run_ctest default

echo "== sanitizer build and tests"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
run_ctest debug

echo "== fuzzing"
scripts/fuzz.sh 5

echo "== Windows cross build, wine smoke test and window test"
scripts/prepare-mingw-expat.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
tests/wine/smoke.sh build-mingw
tests/wine/gui.sh build-mingw
echo "== Windows package"
cmake --build --preset mingw --target package

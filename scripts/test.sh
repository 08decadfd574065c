#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native build, the build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of the fuzz targets, and the
# Windows cross build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${BRISKO_JOBS:-2}"

scripts/install-deps.sh

echo "== native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

echo "== sanitizer build and tests"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

echo "== fuzzing"
scripts/fuzz.sh 5

echo "== Windows cross build, wine smoke test and window test"
scripts/prepare-mingw-expat.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
if [ -x tests/wine/smoke.sh ]; then
  tests/wine/smoke.sh build-mingw
fi
if [ -x tests/wine/gui.sh ]; then
  tests/wine/gui.sh build-mingw
fi
echo "== Windows package"
cmake --build --preset mingw --target package

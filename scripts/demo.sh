#!/usr/bin/env bash
# Installs what is missing, builds brisko with the stand-in PureBasic installation and converts
# the bundled example into a static library, then lists what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake --preset default >/dev/null
# Only the program and the stand-in installation: the tests are scripts/test.sh's business.
cmake --build --preset default --target brisko standin_installation
export BRISKO_PB_COMMAND="$(cat build/purebasic/brisko_pb_command.txt)"
echo "BRISKO_PB_COMMAND=$BRISKO_PB_COMMAND"
out=build/demo-output
rm -rf "$out"
mkdir -p "$out"
build/bin/brisko convert examples/demo.pb --dest "$out" --lib
echo "== written below $out"
(cd "$out" && find . -type f | sort)
echo "== members of $out/Bin/demo.lib"
llvm-ar t "$out/Bin/demo.lib"

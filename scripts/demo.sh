#!/usr/bin/env bash
# Installs what is missing, builds brisko with the stand-in PureBasic installation and converts
# the bundled example into a static library, then lists what it wrote; then converts the 64-bit
# example with the stand-in set to act as an x64 compiler.
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

# The same installation acting as an x64 compiler (target.txt beside the compiler).
pb64=build/demo-x64-installation
rm -rf "$pb64" "$out-x64"
cp -r build/purebasic "$pb64"
printf 'x64\r\n' >"$pb64/compilers/target.txt"
mkdir -p "$out-x64"
build/bin/brisko --pb-folder "$pb64" convert examples/demo64.pb --dest "$out-x64" --lib --wrapper
echo "== written below $out-x64"
(cd "$out-x64" && find . -type f | sort)
echo "== members of $out-x64/Bin/demo64.lib"
llvm-objdump -f "$out-x64/Bin/demo64.lib" | grep 'file format'

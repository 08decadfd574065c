#!/usr/bin/env bash
# Installs what is missing, builds brisko with the stand-in PureBasic installation and runs
# brisko on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake --preset default >/dev/null
cmake --build --preset default
export BRISKO_PB_COMMAND="$(cat build/purebasic/brisko_pb_command.txt)"
echo "BRISKO_PB_COMMAND=$BRISKO_PB_COMMAND"
build/bin/brisko check examples/demo.pb

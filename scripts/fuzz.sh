#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for SECONDS seconds on a scratch
# copy of its seed corpus (for the listing stages with the seeds listing_seeds generates).
# Prints one line per target:
#   fuzz <name>: <runs> runs, <ok|crash|timeout|leak>
# Exits with 1 when any target found something; the input that shows it is kept in
# build-fuzz/findings/<name>/ and the end of the fuzzer's output is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh SECONDS" >&2
  exit 2
fi
jobs="${BRISKO_JOBS:-2}"
targets=()
for source in tests/fuzz/*_fuzzer.cc; do
  name="$(basename "$source" _fuzzer.cc)"
  targets+=("$name")
done

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DBRISKO_BUILD_TESTS=OFF -DBRISKO_BUILD_FUZZERS=ON >/dev/null
if ! cmake --build build-fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}" listing_seeds \
  >build-fuzz/build.log 2>&1; then
  grep -v '^\[' build-fuzz/build.log | tail -n 40 >&2
  echo "fuzz: the fuzz targets did not build" >&2
  exit 1
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
status=0
for name in "${targets[@]}"; do
  corpus="$scratch/$name"
  findings="build-fuzz/findings/$name"
  log="$scratch/$name.log"
  mkdir -p "$corpus" "$findings"
  cp tests/fuzz/corpus/"$name"/* "$corpus"/
  if [ "$name" = listing_stages ]; then
    build-fuzz/bin/listing_seeds "$corpus"
  fi
  rc=0
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
    build-fuzz/bin/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1 || rc=$?
  runs="$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log" | tail -n 1)"
  verdict=ok
  if [ "$rc" -ne 0 ]; then
    if grep -q "ERROR: libFuzzer: timeout" "$log"; then
      verdict=timeout
    elif grep -q "ERROR: LeakSanitizer" "$log"; then
      verdict=leak
    else
      verdict=crash
    fi
  fi
  echo "fuzz $name: ${runs:-0} runs, $verdict"
  if [ "$verdict" != ok ]; then
    status=1
    {
      echo "---- fuzz_$name (input kept in $findings/)"
      grep -v -e '^#[0-9]' -e '^INFO:' "$log" | tail -n 60
      echo "----"
    } >&2
  fi
done
exit "$status"

#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each over its seed corpus for a bounded
# time. Any finding (a crash, a broken invariant, a leak, a slow input or one
# that takes too much memory) fails the script; the input that found it is
# kept in build/fuzz/findings/.
# Usage: scripts/fuzz.sh [harness ...]   (default: all; FUZZ_SECONDS per harness, default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CCACHE_BASEDIR=$PWD
build=build/fuzz
seconds=${FUZZ_SECONDS:-15}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DFUZZ=ON -DBUILD_TESTING=OFF -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" --target fuzzers

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for seeds in fuzz/corpus/*/; do
    harnesses+=("$(basename "$seeds")")
  done
fi

findings=$PWD/$build/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
symbolizer=$(command -v llvm-symbolizer-14 || true)
[ -z "$symbolizer" ] || export ASAN_SYMBOLIZER_PATH=$symbolizer

failed=()
for name in "${harnesses[@]}"; do
  harness=$build/fuzz/${name}_fuzz
  seeds=fuzz/corpus/$name
  [ -x "$harness" ] && [ -d "$seeds" ] || { echo "fuzz: no harness or seeds for $name" >&2; exit 2; }
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  mkdir -p "$work/$name"
  log=$work/$name.log
  if "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$findings/$name-" -print_final_stats=1 "$work/$name" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz: $name: $runs runs in ${seconds} s, $cov, no finding"
  else
    echo "fuzz: $name: FINDING" >&2
    grep -v '^#[0-9]' "$log" | tail -60 >&2
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in: ${failed[*]} (inputs in $findings)" >&2
  exit 1
fi

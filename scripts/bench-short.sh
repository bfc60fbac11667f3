#!/usr/bin/env bash
# Runs the short mode of every benchmark from a build that has them (configured
# with BUILD_TESTING=ON; this script builds nothing): a few seconds each, to see
# that each still runs to its end with sane figures. Fails when one fails.
# Usage: scripts/bench-short.sh [build folder, default build/ci-release]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/ci-release}" && pwd)"
failed=()

run() { # name command...
  local name=$1
  shift
  echo "== $name"
  if [ ! -x "$1" ]; then
    echo "$name: $1 is missing; build $build with BUILD_TESTING=ON first" >&2
    failed+=("$name")
    return
  fi
  "$@" || failed+=("$name")
}

run http "$build/bench/http/http_bench" --short
run pattern "$build/bench/pattern/pattern_bench" --short
if command -v pulseaudio >/dev/null; then
  # A private sound server with a null sink, as bench/playback/run.sh starts it.
  BENCH_SHORT=1 run playback "$root/bench/playback/run.sh" "$build" 1.5
else
  echo "== playback: skipped, pulseaudio is not installed (scripts/setup.sh installs it)"
fi

run catalogue "$build/bench/catalogue/catalogue_bench" --short
run whole-book "$build/bench/catalogue/whole_book_bench" --short
run command-line "$build/bench/command_line/command_line_bench" --short
run tagging "$build/bench/tagging/tag_bench" --short
run feeds "$build/bench/feeds/feeds_bench" --short

if [ ${#failed[@]} -gt 0 ]; then
  echo "benchmarks that failed in their short mode: ${failed[*]}" >&2
  exit 1
fi
echo "every benchmark ran in its short mode"

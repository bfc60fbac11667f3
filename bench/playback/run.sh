#!/usr/bin/env bash
# Runs pitch_bench at each speed given (default 1.0 and 1.5) with a private
# sound server whose default sink is a null sink.
# Usage: bench/playback/run.sh <build folder> [speed ...]
set -euo pipefail
build=${1:?build folder}
shift
[ $# -gt 0 ] || set -- 1.0 1.5
exec "$(dirname "$0")/../../tests/support/with-sound-server.sh" bash -c '
  bench=$1
  shift
  for speed in "$@"; do QT_QPA_PLATFORM=offscreen "$bench" "$speed"; done
' run "$build/bench/playback/pitch_bench" "$@"

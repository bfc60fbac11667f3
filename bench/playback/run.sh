#!/usr/bin/env bash
# Starts a private sound server with a null sink, runs pitch_bench at each
# speed given (default 1.0 and 1.5) and stops the server again.
# Usage: bench/playback/run.sh <build folder> [speed ...]
set -euo pipefail
build=${1:?build folder}
shift
runtime=$(mktemp -d)
trap 'PULSE_RUNTIME_PATH=$runtime/pulse pulseaudio --kill 2>/dev/null || true; rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime PULSE_RUNTIME_PATH=$runtime/pulse HOME=$runtime
pulseaudio -n -L "module-null-sink sink_name=bench" -L module-native-protocol-unix \
  --exit-idle-time=-1 --disallow-exit -D --log-target=file:$runtime/pulse.log
export PULSE_SERVER=unix:$runtime/pulse/native
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink bench
for speed in "${@:-1.0 1.5}"; do
  for s in $speed; do QT_QPA_PLATFORM=offscreen "$build/bench/playback/pitch_bench" "$s"; done
done

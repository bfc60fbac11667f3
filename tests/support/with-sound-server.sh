#!/usr/bin/env bash
# Runs a command with a private PulseAudio server whose default sink is a null
# sink (its own runtime folder, so it never touches a user's sound); `parec`
# records what the command plays from the sink's monitor. The server goes with
# the command.
# Usage: with-sound-server.sh command [argument ...]
set -euo pipefail
runtime=$(mktemp -d)
trap 'PULSE_RUNTIME_PATH=$runtime/pulse pulseaudio --kill 2>/dev/null || true; rm -rf "$runtime"' EXIT
# GStreamer keeps its plugin registry where it always does.
export XDG_CACHE_HOME=${XDG_CACHE_HOME:-$HOME/.cache}
export XDG_RUNTIME_DIR=$runtime PULSE_RUNTIME_PATH=$runtime/pulse HOME=$runtime
pulseaudio -n -L "module-null-sink sink_name=null" -L module-native-protocol-unix \
  --exit-idle-time=-1 --disallow-exit -D --log-target=file:$runtime/pulse.log
export PULSE_SERVER=unix:$runtime/pulse/native
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink null
"$@"

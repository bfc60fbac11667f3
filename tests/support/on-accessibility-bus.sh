#!/bin/sh
# Runs a command on a virtual display with a session bus of its own, which starts
# the accessibility bus when asked. That bus's socket lies in the runtime folder:
# each run has a folder of its own, so runs side by side (ctest -j, another work
# tree) keep their buses apart.
runtime=$(mktemp -d /tmp/a11y-run-XXXXXX) || exit 1
XDG_RUNTIME_DIR=$runtime dbus-run-session -- xvfb-run -a -s "-screen 0 1366x768x24" "$@"
status=$?
# The bus launcher may still be going away: its folder once it has gone.
for _ in 1 2 3 4 5; do
  rm -rf "$runtime" 2>/dev/null
  [ -e "$runtime" ] || break
  sleep 0.2
done
exit $status

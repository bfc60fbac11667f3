#!/usr/bin/env bash
# A trial by ear, kept as a manual check: the program on a private display and
# session bus against the sample site, the Orca screen reader with its speech
# logged, and the keyboard driven by xdotool through the whole job (load, query,
# rows, play, pause, seek, speed, sleep timer, download, settings, close). What
# Orca said is printed at the end; read it as a listener would.
#
#   scripts/orca-trial.sh [build folder]      (default build/test, as ./test.sh builds it)
#
# PAUSE (seconds, default 1.5) is the wait after each key. Installs what it
# needs (orca and speech-dispatcher besides the test packages) when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -n "${ORCA_TRIAL_INSIDE:-}" ] || scripts/setup.sh --trial
build=$(realpath "${1:-build/test}")
program="$build/src/startup/audiobook-client"
site_program="$build/tests/site/sample-site"
for needed in "$program" "$site_program"; do
  [ -x "$needed" ] || { echo "build first: $needed is missing" >&2; exit 1; }
done

# Everything runs inside a session bus and a display of its own.
if [ -z "${ORCA_TRIAL_INSIDE:-}" ]; then
  export ORCA_TRIAL_INSIDE=1
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1366x768x24" "$0" "$build"
fi

work=$(mktemp -d /tmp/orca-trial-XXXXXX)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sleep 1
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
}
trap finish EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/save"
chmod 700 "$XDG_RUNTIME_DIR"

# The sample site on ports of its own.
# Episodes of a few minutes, arriving slowly enough for a run to be heard.
SAMPLE_SITE_EPISODE_KB=4096 SAMPLE_SITE_TRICKLE=65536:100 \
  "$site_program" 18443 18080 > "$work/site.txt" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q "play_" "$work/site.txt" 2>/dev/null && break; sleep 0.2; done
page=$(grep -o 'https://[^ ]*play_[^ ]*' "$work/site.txt" | head -1)
[ -n "$page" ] || { echo "the sample site did not start" >&2; cat "$work/site.txt" >&2; exit 1; }

# The program beside its configuration: the Media host, a save folder, the book.
cp "$program" "$work/"
printf '[设置]\r\n媒体主机=127.0.0.1:18080\r\n默认保存路径=%s\r\n默认网址=%s\r\n默认显示集数=5\r\n' \
  "$work/save" "$page" | iconv -f UTF-8 -t GBK > "$work/配置文件.ini"

# A window manager, so that windows are activated as on a desktop.
openbox > "$work/openbox.log" 2>&1 &
pids+=($!)
# The accessibility bus, started as a desktop session does.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress > /dev/null
gsettings set org.gnome.desktop.a11y.applications screen-reader-enabled true 2>/dev/null || true

orca --replace --debug --debug-file "$work/orca.log" > "$work/orca.out" 2>&1 &
pids+=($!)
sleep 6

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 \
  "$work/audiobook-client" > "$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
sleep 8
xdotool search --sync --pid "$program_pid" --onlyvisible 2>/dev/null | head -1 |
  xargs -r xdotool windowactivate --sync 2>/dev/null || true

step() { # a note beside Orca's log, then the keys
  printf '%s - TRIAL STEP: %s\n' "$(date +%H:%M:%S.%6N)" "$1" >> "$work/steps.log"
  shift
  # Keys in one argument ("a b") go together, as a double press.
  for keys in "$@"; do
    # shellcheck disable=SC2086
    xdotool key --clearmodifiers $keys
    sleep "${PAUSE:-1.5}"
  done
}

step "Tab from the address box: the book's details, the site link" Tab Tab
step "the query button, the start box; Enter there queries" Tab Tab Return
sleep 3
step "into the episode list: its name and current row" Tab Tab Tab Tab Tab
step "arrows move without playing" Down Down Up End Home
step "Enter plays the current row" Return
sleep 2
step "Space pauses, Space resumes" space space
step "speed up and down" bracketright bracketright bracketleft
step "to the seek bar, a minute on, then playback moves it" shift+Tab Page_Up
sleep 4
step "the play button: pause and play" shift+Tab shift+Tab space space
step "on to the sleep timer: 15 minutes, then the time left" \
  Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Down Tab
step "back 15 s, forward 30 s" Tab space Tab space
step "back to the episode list" \
  shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab
step "on to the download button, download the list" Tab Tab space
sleep 8
step "Orca's title command, while the run goes on" KP_Insert+KP_Enter
step "Orca's status bar command (the title command twice)" "KP_Insert+KP_Enter KP_Insert+KP_Enter"
sleep 30
step "on to 配置: the settings window, through its form and back" Tab space Tab Tab Tab Tab Tab Tab Tab Escape
step "on to the library: its current book, Enter opens it" Tab Return
sleep 2
step "B: a bookmark where it plays (a list of another book shown), its note typed" b n o t e Return
step "the bookmark list: Enter jumps back to it" Return
step "close" ctrl+q
sleep 2

echo "What Orca said (its log: $work/orca.log):"
grep -hE "TRIAL STEP|SPEECH OUTPUT|bad content" "$work/orca.log" "$work/steps.log" | sort |
  sed "s/{'established': False}//" || true

#!/usr/bin/env bash
# Installs a build into a temporary DESTDIR under /usr and checks what a desktop
# needs: the executable in bin/, the menu entry, the AppStream metainfo and the
# icon in the hicolor theme, with the menu entry and the metainfo validated;
# the manual page, copyright file and changelog; and the systemd user units of
# the check on schedule, which systemd-analyze verifies. Only the program is built
# first, as ./run.sh builds it: what the install takes is part of its build.
# Usage: scripts/check-install.sh [build folder]   (default: build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cmake --build "$build" --target audiobook-client
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

app=io.github.audiobook_client
share="$stage/usr/share"
expect() {
  [ -s "$1" ] || { echo "check-install: missing $1" >&2; exit 1; }
}
expect "$stage/usr/bin/audiobook-client"
[ -x "$stage/usr/bin/audiobook-client" ] || { echo "check-install: not executable" >&2; exit 1; }
expect "$share/applications/$app.desktop"
expect "$share/metainfo/$app.metainfo.xml"
expect "$share/icons/hicolor/scalable/apps/$app.svg"
for size in 48 256; do
  png="$share/icons/hicolor/${size}x${size}/apps/$app.png"
  expect "$png"
  file "$png" | grep -q "PNG image data, $size x $size" ||
    { echo "check-install: $png is not a $size px PNG" >&2; exit 1; }
done

doc="$share/doc/audiobook-client"
for file in "$share/man/man1/audiobook-client.1.gz" "$doc/copyright" "$doc/changelog.Debian.gz"; do
  expect "$file"
done
gzip -t "$share/man/man1/audiobook-client.1.gz" "$doc/changelog.Debian.gz"

desktop-file-validate "$share/applications/$app.desktop"
grep -qx 'Exec=audiobook-client %u' "$share/applications/$app.desktop" ||
  { echo "check-install: the menu entry does not hand the program an address" >&2; exit 1; }

units="$stage/usr/lib/systemd/user"
for unit in audiobook-client-check.service audiobook-client-check.timer; do
  expect "$units/$unit"
done
grep -qx 'ExecStart=/usr/bin/audiobook-client check' "$units/audiobook-client-check.service" ||
  { echo "check-install: the service does not run /usr/bin/audiobook-client check" >&2; exit 1; }
# systemd-analyze verify looks for the program the service runs and the manual
# page it names on this machine: a second install, under a prefix of its own
# without DESTDIR, gives units that name its own copies.
root="$stage/verify"
cmake --install "$build" --prefix "$root" >/dev/null
runtime="$stage/runtime"
mkdir -m 700 "$runtime"
XDG_RUNTIME_DIR="$runtime" MANPATH="$root/share/man" \
  systemd-analyze --user verify "$root/lib/systemd/user/audiobook-client-check.service" \
  "$root/lib/systemd/user/audiobook-client-check.timer"
appstreamcli validate --no-net --pedantic "$share/metainfo/$app.metainfo.xml"
echo "check-install: the installed files are in place and valid"

#!/usr/bin/env bash
# Makes the Debian package (scripts/make-deb.sh) and checks it with lintian:
# any error or warning fails the script; notes of lesser weight are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/make-deb.sh >/dev/null
deb=$(ls build/package/audiobook-client_*.deb)
lintian --fail-on error,warning --info "$deb"
echo "check-package: lintian finds no error or warning in $deb"

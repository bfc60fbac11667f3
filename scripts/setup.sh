#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test
# (GStreamer's base and good plugins hold playbin, the MP3 decoder, the HTTP
# source, the PulseAudio sink and the scaletempo time stretch, and glib-networking
# gives the HTTP source its TLS; clang and its runtime for the fuzzers, llvm-14
# for the symbolizer that names the frames of a finding; lintian for the package
# check; systemd and man-db for systemd-analyze's check of the user units; TagLib
# for the episodes' tags and lengths, and python3-mutagen, a second reader of them
# for the tests; libmicrohttpd for the podcast feeds on the home network and
# libqrencode for their QR codes; feedparser, newsboat's podboat and nginx to
# check and measure the feeds). With --trial, also the Orca screen reader and
# speech-dispatcher for the trial by ear (scripts/orca-trial.sh), which the tests
# do not need.
# Safe to run again: apt-get only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libgstreamer1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good glib-networking
  pulseaudio pulseaudio-utils dbus dbus-bin
  libcurl4-openssl-dev libpsl-dev publicsuffix libpcre2-dev libgtest-dev libgmock-dev
  libcpp-httplib-dev libssl-dev openssl curl
  qt6-translations-l10n
  fonts-wqy-microhei xvfb xauth dbus at-spi2-core libglib2.0-bin openbox imagemagick xdotool
  librsvg2-bin desktop-file-utils appstream dpkg-dev file lintian
  clang libclang-rt-14-dev llvm-14
  dbus aria2
  systemd man-db libtag1-dev python3-mutagen
  libmicrohttpd-dev libqrencode-dev python3-feedparser nginx-light newsboat
)
if [ "${1:-}" = "--trial" ]; then
  packages+=(orca speech-dispatcher)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

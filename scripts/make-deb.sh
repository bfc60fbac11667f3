#!/usr/bin/env bash
# Builds the program for release under /usr and makes its Debian package with
# CPack; the package's library dependencies come from dpkg-shlibdeps.
# The .deb is left in build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build/package
(cd build/package && cpack -G DEB)
ls build/package/*.deb

#!/usr/bin/env bash
# Builds the program for release under /usr with the hardening flags Debian
# builds its packages with (dpkg-buildflags: fortified functions, stack
# protection, read-only relocations bound at start) and makes its Debian
# package with CPack; the package's library dependencies come from
# dpkg-shlibdeps. The .deb is left in build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CCACHE_BASEDIR=$PWD
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
cmake --build build/package
rm -f build/package/*.deb
(cd build/package && cpack -G DEB)
ls build/package/*.deb

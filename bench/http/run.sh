#!/usr/bin/env bash
# Builds the HTTP benchmark without sanitizers and runs it once.
# Usage: bench/http/run.sh [folder for the downloaded files] [rounds]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/http-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSANITIZE=OFF > /dev/null
ninja -C "$build" -j2 http_bench
"$build/bench/http/http_bench" "$@"

#!/usr/bin/env bash
# Builds the tests that run threads (the query, the download sequence, the
# transfer handler, the episode download, the requests and the feeds' service) with
# ThreadSanitizer and runs them; any report fails the script. Qt is not built
# with ThreadSanitizer: tests/support/tsan.supp names the Qt frames whose
# hand-offs it cannot see.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CCACHE_BASEDIR=$PWD
build=build/tsan
tests=(session_tests transfer_handler_tests episode_download_tests web_access_tests tagging_tests
       episode_landing_tests feeds_tests)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=thread \
  -DBUILD_TESTING=ON -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" --target "${tests[@]}"

export TSAN_OPTIONS="suppressions=$PWD/tests/support/tsan.supp:second_deadlock_stack=1:history_size=4"
# Without address-space randomisation: ThreadSanitizer's fixed memory layout
# clashes with the wide randomisation of newer kernels.
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
setarch "$(uname -m)" -R ctest --test-dir "$build" -R "$pattern" --output-on-failure -j2 "$@"

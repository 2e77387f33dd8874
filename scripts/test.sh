#!/usr/bin/env bash
# Sets up, builds the test build and runs the whole suite in a private network
# namespace; then builds the Debian package and checks it.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup-test.sh"
status=0
(cd "$repo/build-test" &&
    "$repo/scripts/isolated.sh" ctest --output-on-failure --timeout 600 -j2 "$@") || status=$?
"$repo/scripts/check-package.sh" || status=1
exit "$status"

#!/usr/bin/env bash
# Takes docs/window.png: the window at the end of a real run of the test build
# (every endpoint on loopback, the report uploaded to the local test results
# server), on a virtual display inside a private network namespace with only
# loopback up.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo/build-test"

VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$build_dir" \
    -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$repo/tests/certs/ca.pem"

"$repo/scripts/isolated.sh" xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$build_dir/bin/windowshot" "$repo/docs/window.png"
echo "wrote docs/window.png" >&2

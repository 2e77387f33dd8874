#!/usr/bin/env bash
# Takes docs/window.png: the window at the end of a real run of the test build
# (every endpoint on loopback, the report uploaded to the local test results
# server), on a virtual display inside a private network namespace with only
# loopback up.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup-test.sh"
"$repo/scripts/isolated.sh" xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$repo/build-test/bin/windowshot" "$repo/docs/window.png"
echo "wrote docs/window.png" >&2

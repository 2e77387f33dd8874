#!/usr/bin/env bash
# Takes docs/window.png and, under a dark palette, docs/window-dark.png: the
# window at the end of the window test's run through (the report uploaded to
# the tests' local results server, findings such a run could show), on a
# virtual display inside a private network namespace with only loopback up.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup-test.sh"
"$repo/scripts/isolated.sh" xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb VELTRANE_SCREENSHOT="$repo/docs/window.png" \
    "$repo/build-test/bin/tst_mainwindow" clickThrough
echo "wrote docs/window.png and docs/window-dark.png" >&2

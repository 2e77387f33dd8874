#!/usr/bin/env bash
# Sets up, builds the test build and runs the whole suite in a private network
# namespace.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup-test.sh"
cd "$repo/build-test"
exec "$repo/scripts/isolated.sh" ctest --output-on-failure --timeout 600 -j2 "$@"

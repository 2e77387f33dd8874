#!/usr/bin/env bash
# Sets up, builds the test build (every endpoint on loopback, the test
# authority trusted) and runs the whole suite in a private network namespace.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo/build-test"

VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$build_dir" \
    -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$repo/tests/certs/ca.pem"

cd "$build_dir"
exec "$repo/scripts/isolated.sh" ctest --output-on-failure --timeout 600 -j2 "$@"

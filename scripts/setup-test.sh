#!/usr/bin/env bash
# Sets up and builds the test build in build-test/: every endpoint on loopback,
# the test certificate authority trusted, the tools the tests drive installed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$repo/build-test" \
    -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$repo/tests/certs/ca.pem"

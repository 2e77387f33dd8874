#!/usr/bin/env bash
# Sets up and builds the test build in build-test/: every endpoint on loopback,
# a test certificate authority of its own trusted, the tools the tests drive
# installed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
certs="$repo/build-test/test-certificates"
VELTRANE_TEST_PACKAGES=1 VELTRANE_TEST_CERTIFICATES="$certs" "$repo/scripts/setup.sh" \
    "$repo/build-test" -DVELTRANE_ENDPOINTS_FILE="$repo/config/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$certs/ca.pem"

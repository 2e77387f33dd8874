#!/usr/bin/env bash
# Builds the test build with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-sanitize/ and runs the whole suite there, in a private network
# namespace. Any report of either sanitizer fails the test that caused it.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
certs="$repo/build-sanitize/test-certificates"
VELTRANE_TEST_PACKAGES=1 VELTRANE_TEST_CERTIFICATES="$certs" "$repo/scripts/setup.sh" \
    "$repo/build-sanitize" -DVELTRANE_ENDPOINTS_FILE="$repo/config/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$certs/ca.pem" -DVELTRANE_SANITIZE=ON

# The tests run the program too; it inherits these.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$repo/scripts/lsan-suppressions.txt:print_suppressions=0"
cd "$repo/build-sanitize"
exec "$repo/scripts/isolated.sh" ctest --output-on-failure --timeout 900 -j2 "$@"

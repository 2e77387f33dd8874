#!/usr/bin/env bash
# Sets up, builds the test build (every endpoint on loopback) and runs the whole
# suite inside a private network namespace with only loopback up, so that no
# test can send a packet off this machine.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo/build-test"

VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$build_dir" \
    -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$repo/tests/certs/ca.pem"

if [[ "$(id -u)" == 0 ]]; then
    isolate=(unshare --net)
else
    isolate=(unshare --user --map-root-user --net)
fi
exec "${isolate[@]}" bash -c '
    set -euo pipefail
    ip link set lo up
    cd "$1"
    ctest --output-on-failure --timeout 600 -j2 "${@:2}"
' isolated "$build_dir" "$@"

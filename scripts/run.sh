#!/usr/bin/env bash
# Sets up and builds the program (not the tests) in build/, then runs it with the
# options given. Quiet unless something fails; with nothing changed since the
# last run it starts at once.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELTRANE_TARGETS=veltrane-diagnostic "$repo/scripts/setup.sh" "$repo/build" -DBUILD_TESTING=OFF
exec "$repo/build/bin/veltrane-diagnostic" "$@"

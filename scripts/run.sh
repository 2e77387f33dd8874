#!/usr/bin/env bash
# Sets up, builds and runs the program with the options given.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup.sh" "$repo/build"
exec "$repo/build/bin/veltrane-diagnostic" "$@"

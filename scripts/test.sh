#!/usr/bin/env bash
# Sets up, builds the test build and runs the whole suite in a private network
# namespace; then builds the Debian package and checks it. The last line says
# how it went; the status is non-zero when anything failed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if ! "$repo/scripts/setup-test.sh"; then
    echo "setting up or building the tests failed, so no test ran (see above)" >&2
    exit 1
fi

log="$repo/build-test/ctest.log"
testsFailed=0
(cd "$repo/build-test" &&
    "$repo/scripts/isolated.sh" ctest --output-on-failure --timeout 600 -j2 "$@") 2>&1 |
    tee "$log" || testsFailed=1
packageChecked=1
"$repo/scripts/check-package.sh" || packageChecked=0

# ctest ends with "N% tests passed, F tests failed out of M".
summary="$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log")"
read -r failed total <<<"${summary:-? ?}"
if [[ -z "$summary" ]]; then
    outcome="the tests did not run (see above)"
elif ((failed > 0 || testsFailed)); then
    outcome="$failed of $total test programs failed"
else
    outcome="all $total test programs passed"
fi
if ((packageChecked)); then
    outcome+="; the package was built and checked"
else
    outcome+="; the package check failed"
fi
echo "$outcome" >&2
[[ -n "$summary" ]] && ((failed == 0 && !testsFailed && packageChecked))

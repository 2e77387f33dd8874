#!/usr/bin/env bash
# Runs a command inside a private network namespace with only loopback up, so
# that nothing it does can send a packet off this machine.
set -euo pipefail
if [[ "$(id -u)" == 0 ]]; then
    isolate=(unshare --net)
else
    isolate=(unshare --user --map-root-user --net)
fi
exec "${isolate[@]}" bash -c 'set -euo pipefail; ip link set lo up; exec "$@"' isolated "$@"

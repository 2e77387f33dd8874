#!/usr/bin/env bash
# Runs runbench (bench/run.sh builds it) with one command that prints GIB GiB of
# log lines to the console, and prints the largest size that its spool files in
# the temporary folder reached together, sampled every 0.2 s, and its peak
# memory. Inside a private network namespace, as every benchmark.
# Usage: bench/spool-peak.sh [GIB]   (default 4)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ "${VELTRANE_BENCH_INSIDE:-0}" != 1 ]]; then
    VELTRANE_BENCH_INSIDE=1 exec "$repo/scripts/isolated.sh" "$0" "$@"
fi
gib="${1:-4}"
spool="$(mktemp -d)"
trap 'rm -rf "$spool"' EXIT
line='2026-12-06 12:00:00 agent: resolver answered in 12 ms for www.example.com'
TMPDIR="$spool" "$repo/build-bench/bin/runbench" --console 1 \
    "yes '$line' | head -c $((gib << 30))" >/dev/null 2>"$spool.err" &
pid=$!
peak=0
while kill -0 "$pid" 2>/dev/null; do
    sum=0
    for fd in /proc/"$pid"/fd/*; do
        [[ "$(readlink "$fd" 2>/dev/null)" == "$spool"/* ]] || continue
        sum=$((sum + $(stat -Lc %s "$fd" 2>/dev/null || echo 0)))
    done
    ((sum > peak)) && peak=$sum
    sleep 0.2
done
wait "$pid" || true
echo "$gib GiB printed: spool peak $((peak >> 20)) MiB; $(tail -n 1 "$spool.err")"
rm -f "$spool.err"

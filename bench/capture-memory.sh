#!/usr/bin/env bash
# Peak memory and time of capturing a command that prints N MiB on each of its
# two streams at once, against the same command redirected to files by the
# shell. Usage: bench/capture-memory.sh BUILD-DIR [MIB...]
set -euo pipefail
build="$1"
shift
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
measure() { # prints "peak-KiB seconds"
    /usr/bin/time -f '%M %e' -o "$out/time" "$@" >/dev/null
    cat "$out/time"
}
printf '%8s %14s %10s %14s %10s %12s %12s\n' MiB capture-KiB seconds anchor-KiB seconds time-ratio block-MiB
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(64 512)
for mib in "${sizes[@]}"; do
    bytes=$((mib * 1024 * 1024))
    read -r peak seconds < <(measure "$build/bin/capture" "$bytes" "$out/block")
    block=$(($(stat -c %s "$out/block") / 1024 / 1024))
    rm -f "$out/block"
    read -r anchorPeak anchorSeconds < <(measure sh -c \
        "head -c $bytes /dev/zero | tr '\\0' o > $out/o & head -c $bytes /dev/zero | tr '\\0' e > $out/e; wait")
    rm -f "$out/o" "$out/e"
    ratio=$(awk -v a="$seconds" -v b="$anchorSeconds" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    printf '%8s %14s %10s %14s %10s %12s %12s\n' "$mib" "$peak" "$seconds" "$anchorPeak" \
        "$anchorSeconds" "$ratio" "$block"
done

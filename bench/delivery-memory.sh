#!/usr/bin/env bash
# Peak memory of a windowless run whose one command prints MIB MiB, for each way
# the report leaves: standard output, an output file, a failed upload (the copy
# on the desktop). Builds deliverybench into the test build (loopback
# endpoints) and runs it inside a private network namespace.
# Usage: bench/delivery-memory.sh [MIB...]   (default 64 512 2048)
# Needs about four times the largest size free in the temporary folder.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-test"
[[ -f "$build/CMakeCache.txt" ]] || "$repo/scripts/setup-test.sh"
cmake -S "$repo" -B "$build" -DVELTRANE_BENCH=ON >/dev/null
cmake --build "$build" --target deliverybench >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/Desktop"

sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(64 512 2048)
printf '%8s %-8s %10s %10s %8s %14s\n' MiB mode peak-MiB seconds status report-bytes
for mib in "${sizes[@]}"; do
    for mode in console file upload; do
        args=("$mode" "$mib")
        [[ "$mode" == file ]] && args+=("$work/report.txt")
        "$repo/scripts/isolated.sh" env HOME="$work/home" TMPDIR="$work" \
            "$build/bin/deliverybench" "${args[@]}" >"$work/console" 2>"$work/log" || true
        result="$(grep -o 'seconds=.*' "$work/log" | tail -1)"
        read -r seconds peak status < <(sed 's/[a-zA-Z-]*=//g' <<<"$result")
        copy="$work/console"
        [[ "$mode" == file ]] && copy="$work/report.txt"
        [[ "$mode" == upload ]] && copy="$work/home/Desktop/diagnostic_results.txt"
        printf '%8s %-8s %10s %10s %8s %14s\n' "$mib" "$mode" "${peak:-?}" "${seconds:-?}" \
            "${status:-?}" "$(stat -c %s "$copy" 2>/dev/null || echo none)"
        rm -f "$work/console" "$work/report.txt" "$work/home/Desktop/diagnostic_results.txt"
    done
done

#!/usr/bin/env bash
# Builds the benchmarks and prints every figure beside its anchor, measured in
# the same run, with the ratio and the goal. Times are the best of three runs;
# peak memory is the largest resident set that /usr/bin/time saw.
# Usage: bench/run.sh [report size in MiB for the trimming, default 2048]
# Needs about twice that size free in the temporary folder.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
report_mib="${1:-2048}"

VELTRANE_BENCH_PACKAGES=1 "$repo/scripts/setup.sh" "$repo/build-bench" \
    -DVELTRANE_BENCH=ON -DBUILD_TESTING=OFF
bin="$repo/build-bench/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# measure COMMAND...: runs the command three times; sets seconds (the best of
# the "seconds=" lines it prints) and peak_mib (the largest peak).
measure() {
    seconds="" peak_mib=0
    local run out peak
    for run in 1 2 3; do
        out="$(/usr/bin/time -v -o "$work/time" "$@")"
        out="${out##*seconds=}"
        peak="$(awk -F': ' '/Maximum resident set size/ { print int($2 / 1024) }' "$work/time")"
        ((peak > peak_mib)) && peak_mib="$peak"
        if [[ -z "$seconds" ]] || awk "BEGIN { exit !($out < $seconds) }"; then
            seconds="$out"
        fi
    done
}

# row FIGURE SECONDS PEAK ANCHOR ANCHOR_SECONDS ANCHOR_PEAK GOAL
row() {
    printf '%-44s %8.3f s %6d MiB | %-22s %8.3f s %6d MiB | ratio %5.2f | goal: %s\n' \
        "$1" "$2" "$3" "$4" "$5" "$6" "$(awk "BEGIN { print $2 / $5 }")" "$7"
}

echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
     "$(awk '/MemTotal/ { print int($2 / 1048576) }' /proc/meminfo) GiB, load $(cut -d' ' -f1 /proc/loadavg)"

# Trimming an oversized report for the upload, against copying the same bytes
# once: within 3x, in flat memory. Three reports: one big agent log that holds
# "tail" and is cut, the same log without it (copied whole after the first
# pass), and small blocks that each hold "tail" but are too short to be cut.
for shape in log-with-tail log small-blocks; do
    "$bin/trimbench" generate "$work/report" "$report_mib" "$shape"
    measure "$bin/trimbench" copy "$work/report" "$work/copy"
    copy_seconds="$seconds" copy_peak="$peak_mib"
    rm -f "$work/copy"
    measure "$bin/trimbench" trim "$work/report" "$work/trimmed"
    row "trim ${report_mib} MiB report ($shape)" "$seconds" "$peak_mib" \
        "copy the same bytes" "$copy_seconds" "$copy_peak" "ratio <= 3, flat memory"
    rm -f "$work/report" "$work/trimmed"
done

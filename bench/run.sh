#!/usr/bin/env bash
# Builds the benchmarks and prints every figure beside its anchor, measured in
# the same run, with the ratio and the goal. Process creation is slow on some
# machines, so a figure is judged by its ratio to the anchor, not by its time.
#
# Usage: bench/run.sh [FIGURE...]
#   FIGURE: scheduling idle battery capture scale trim memory (default: all)
# Environment:
#   BENCH_RUNS=3          runs of each timed step; the best time counts
#   BENCH_TRIM_MIB=2048   size of the trimmed report (needs twice that free)
#   BENCH_CAP_GIB=12      address-space cap of every run of the program, so
#                         that a run that needs too much fails instead of the
#                         machine
#   BENCH_MEMORY_MIB="64 512 2048"   memory: the sizes of output, in MiB
#   BENCH_RECORD=NAME     memory: also write the peaks into the column NAME
#                         of docs/performance-memory.tsv and redraw the plot
#   BENCH_REVISION=REV    run the controller of that git revision instead (its
#                         sources with today's bench/, built apart): the
#                         figures of runbench (scheduling, idle, capture,
#                         scale, memory) for the code as it was
#
# Everything runs in a private network namespace with only loopback up
# (scripts/isolated.sh), against a build whose every endpoint is on loopback.
# There, the endpoints' names resolve to 127.0.0.1 through a hosts file that
# only this run sees, so that the battery's pings and traces run their course.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-bench"
bin="$build/bin"

if [[ "${VELTRANE_BENCH_INSIDE:-0}" != 1 ]]; then
    VELTRANE_BENCH_PACKAGES=1 VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$build" \
        -DVELTRANE_BENCH=ON -DBUILD_TESTING=OFF \
        -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints"
    if [[ -n "${BENCH_REVISION:-}" ]]; then
        revision="$(git -C "$repo" rev-parse --short "$BENCH_REVISION")"
        tree="$build/revision-$revision"
        if [[ ! -d "$tree/source" ]]; then
            echo "building runbench for $revision in $tree" >&2
            mkdir -p "$tree/source"
            git -C "$repo" archive "$revision" | tar -x -C "$tree/source"
            grep -q VELTRANE_BENCH "$tree/source/CMakeLists.txt" ||
                echo 'add_subdirectory(bench)' >>"$tree/source/CMakeLists.txt"
        fi
        rm -rf "$tree/source/bench" && cp -a "$repo/bench" "$tree/source/bench"
        { [[ -f "$tree/build/build.ninja" ]] ||
              CCACHE_BASEDIR="${CCACHE_BASEDIR:-$repo}" CCACHE_NOHASHDIR=1 \
                  cmake -S "$tree/source" -B "$tree/build" -G Ninja \
                  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
                  -DBUILD_TESTING=OFF -DVELTRANE_BENCH=ON \
                  -DVELTRANE_ENDPOINTS_FILE="$repo/tests/loopback.endpoints"
          CCACHE_BASEDIR="${CCACHE_BASEDIR:-$repo}" CCACHE_NOHASHDIR=1 \
              cmake --build "$tree/build" --target runbench; } >"$tree/build.log" 2>&1 ||
            { cat "$tree/build.log" >&2; exit 1; }
        export BENCH_RUNBENCH="$tree/build/bin/runbench" BENCH_REVISION="$revision"
    fi
    hosts="$build/loopback.hosts"
    { cat /etc/hosts; awk -F' *= *' '!/^#/ && NF == 2 && $2 !~ /^[0-9.]+$/ && $2 !~ /:/ {
        print "127.0.0.1 " $2 }' "$repo/tests/loopback.endpoints"; } >"$hosts"
    VELTRANE_BENCH_INSIDE=1 exec "$repo/scripts/isolated.sh" unshare --mount bash -c \
        'mount --bind "$1" /etc/hosts && shift && exec "$@"' bind-hosts "$hosts" "$0" "$@"
fi

runs="${BENCH_RUNS:-3}"
runbench="${BENCH_RUNBENCH:-$bin/runbench}"
cap_kib=$((${BENCH_CAP_GIB:-12} * 1024 * 1024))
figures=("$@")
((${#figures[@]})) || figures=(scheduling idle battery capture scale trim memory)
work="$(mktemp -d)"
# Each timed step runs as a job in a process group of its own (job control):
# an interrupted run stops it and everything it started.
set -m
job=""
cleanup() {
    if [[ -n "$job" ]]; then
        kill -TERM -- "-$job" 2>/dev/null || true
        wait "$job" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

load() { cut -d' ' -f1 /proc/loadavg; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# verdict CONDITION: "meets" or "MISSES", from an awk condition.
verdict() { awk "BEGIN { exit !($1) }" && echo meets || echo MISSES; }

# timed COMMAND...: runs the command as a job, its output to $work/out (or
# to $stdout_file) and $work/err; sets elapsed (seconds) and status.
timed() {
    local start="$EPOCHREALTIME"
    "$@" >"${stdout_file:-$work/out}" 2>"$work/err" &
    job=$!
    status=0
    wait "$job" || status=$?
    job=""
    elapsed="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')"
}

# program [runbench arguments]: runs the program under the address-space cap;
# sets elapsed, status, cpu_ms and peak_mib (empty when it printed none).
program() {
    timed bash -c 'ulimit -v "$1" && shift && exec "$@"' capped "$cap_kib" "$runbench" "$@"
    cpu_ms="" peak_mib=""
    read -r cpu_ms peak_mib < <(sed -n \
        's/^runbench: cpu_ms=\([0-9.]*\) peak_mib=\([0-9.]*\) status=.*/\1 \2/p' "$work/err") || true
}

# best [runbench arguments]: the program BENCH_RUNS times, each a successful
# run; sets best_seconds, best_cpu_ms (the least of each) and max_peak_mib.
best() {
    best_seconds="" best_cpu_ms="" max_peak_mib=0
    local run
    for ((run = 0; run < runs; ++run)); do
        program "$@"
        if [[ "$status" != 0 || -z "$peak_mib" ]]; then
            echo "runbench $* failed with status $status:" >&2
            tail -n 5 "$work/err" >&2
            exit 1
        fi
        best_seconds="$(awk -v a="$elapsed" -v b="$best_seconds" 'BEGIN { print (b == "" || a < b) ? a : b }')"
        best_cpu_ms="$(awk -v a="$cpu_ms" -v b="$best_cpu_ms" 'BEGIN { print (b == "" || a < b) ? a : b }')"
        max_peak_mib="$(awk -v a="$peak_mib" -v b="$max_peak_mib" 'BEGIN { print (a > b ? a : b) }')"
    done
}

# anchor COUNT COMMAND: xargs -P COUNT runs the same commands, each by the
# shell, its streams redirected to files; sets anchor_seconds, the best time.
anchor() {
    local count="$1" command="${2//\{\}/\$1}" run
    anchor_seconds=""
    for ((run = 0; run < runs; ++run)); do
        rm -rf "$work/anchor" && mkdir "$work/anchor"
        timed bash -c 'seq "$1" | xargs -P "$1" -I{} sh -c "$2" "$3" {}' xargs "$count" \
            "exec >\"\$0/\$1.out\" 2>\"\$0/\$1.err\"; $command" "$work/anchor"
        [[ "$status" == 0 ]] || { echo "xargs anchor failed" >&2; exit 1; }
        anchor_seconds="$(awk -v a="$elapsed" -v b="$anchor_seconds" 'BEGIN { print (b == "" || a < b) ? a : b }')"
    done
    rm -rf "$work/anchor"
}

# row FIGURE VALUE ANCHOR ANCHOR_VALUE GOAL VERDICT
row() {
    printf '%-40s %10s | %-26s %10s | ratio %5s | goal %-24s %s | load %s\n' \
        "$1" "$2" "$3" "$4" "$(ratio "${2% *}" "${4% *}")" "$5" "$6" "$(load)"
}

scheduling() {
    best --output "$work/report" 70 'sleep 1'
    program_seconds="$best_seconds" sleep1_cpu_ms="$best_cpu_ms"
    anchor 70 'sleep 1'
    row "scheduling: 70 x sleep 1, report to file" "$program_seconds s" "xargs -P 70" \
        "$anchor_seconds s" "ratio <= 1.00" "$(verdict "$program_seconds <= $anchor_seconds")"
    printf '  above the physical limit of 1.000 s: the program by %.3f s, xargs by %.3f s\n' \
        "$(awk "BEGIN { print $program_seconds - 1 }")" "$(awk "BEGIN { print $anchor_seconds - 1 }")"
}

idle() {
    [[ -n "${sleep1_cpu_ms:-}" ]] || { best --output "$work/report" 70 'sleep 1'; sleep1_cpu_ms="$best_cpu_ms"; }
    best --output "$work/report" 70 'sleep 5'
    local cost
    cost="$(awk "BEGIN { printf \"%.1f\", $best_cpu_ms - $sleep1_cpu_ms }")"
    printf '%-40s %10s | %-26s %10s | goal %-24s %s | load %s\n' \
        "idle: own CPU, 70 x sleep 5 minus sleep 1" "$cost ms" "own CPU 5 s / 1 s" \
        "$best_cpu_ms/$sleep1_cpu_ms ms" "< 20 ms" "$(verdict "$cost < 20")" "$(load)"
}

battery() {
    # The slowest command of the battery, each run alone once, then at its best.
    local slowest="" slowest_seconds=0 line
    "$bin/runbench" --list-battery >"$work/battery.list"
    while IFS=$'\t' read -r -a line; do
        timed "${line[@]}"
        if awk "BEGIN { exit !($elapsed > $slowest_seconds) }"; then
            slowest="${line[*]}" slowest_seconds="$elapsed"
            printf '%s\n' "${line[@]}" >"$work/slowest"
        fi
    done <"$work/battery.list"
    mapfile -t line <"$work/slowest"
    local alone="" program_seconds="" run
    for ((run = 0; run < runs; ++run)); do
        timed "${line[@]}"
        alone="$(awk -v a="$elapsed" -v b="$alone" 'BEGIN { print (b == "" || a < b) ? a : b }')"
        timed "$bin/veltrane-diagnostic" -s -o "$work/battery.txt"
        [[ "$status" == 0 ]] || { echo "the battery run failed" >&2; exit 1; }
        program_seconds="$(awk -v a="$elapsed" -v b="$program_seconds" 'BEGIN { print (b == "" || a < b) ? a : b }')"
    done
    row "battery: -s -o FILE, $(wc -l <"$work/battery.list") commands" "$program_seconds s" \
        "slowest command alone" "$alone s" "ratio <= 1.05" \
        "$(verdict "$program_seconds <= 1.05 * $alone")"
    echo "  slowest command: $slowest"
}

capture() {
    local both='yes "2026-12-06 12:00:00 service: resolver answered for www.example.com" | head -c 268435456 & yes "2026-12-06 12:00:00 service: upstream timed out" | head -c 268435456 >&2; wait'
    local each='yes "2026-12-06 12:00:00 command {}: resolver answered for www.example.com" | head -c 4194304'
    best --output "$work/report" 1 "$both"
    local bytes
    bytes="$(stat -c %s "$work/report")"
    ((bytes > 2 * 268435456)) || { echo "capture: the report lacks output ($bytes bytes)" >&2; exit 1; }
    anchor 1 "$both"
    row "capture: 256 MiB on each stream at once" "$best_seconds s" "the shell into files" \
        "$anchor_seconds s" "ratio <= 2.00" "$(verdict "$best_seconds <= 2 * $anchor_seconds")"
    row "  peak memory" "$max_peak_mib MiB" "limit" "128 MiB" "< 128 MiB" \
        "$(verdict "$max_peak_mib < 128")"
    best --output "$work/report" 70 "$each"
    bytes="$(stat -c %s "$work/report")"
    ((bytes > 70 * 4194304)) || { echo "capture: the report lacks output ($bytes bytes)" >&2; exit 1; }
    anchor 70 "$each"
    row "capture: 70 commands x 4 MiB" "$best_seconds s" "the shell into files" \
        "$anchor_seconds s" "ratio <= 2.00" "$(verdict "$best_seconds <= 2 * $anchor_seconds")"
    row "  peak memory" "$max_peak_mib MiB" "limit" "128 MiB" "< 128 MiB" \
        "$(verdict "$max_peak_mib < 128")"
    rm -f "$work/report"
}

# inOrder COUNT FILE: every block of "echo N; sleep 1" is there, in start
# order, its output its number, and no command failed to start.
inOrder() {
    awk -v count="$1" '
        /^-+Results for: \/bin\/sh -c echo [0-9]+; sleep 1$/ {
            split($0, words, "echo "); number = words[2] + 0
            if (number != ++blocks) bad = 1
            expect = "stdout"; next }
        expect == "stdout" { if ($0 != "stdout:") bad = 1; expect = "number"; next }
        expect == "number" { if ($0 != number "") bad = 1; expect = ""; next }
        /could not start/ { bad = 1 }
        END { exit !(blocks == count && !bad) }' "$2"
}

scale() {
    best --output "$work/report" 2000 'echo {}; sleep 1'
    local complete=yes
    inOrder 2000 "$work/report" || complete=NO
    anchor 2000 'echo {}; sleep 1'
    row "scale: 2000 x (echo N; sleep 1)" "$best_seconds s" "xargs -P 2000" "$anchor_seconds s" \
        "ratio <= 1.50" "$(verdict "$best_seconds <= 1.5 * $anchor_seconds")"
    echo "  every block present, in start order, none lost to a launch failure: $complete"
    rm -f "$work/report"
}

trim() {
    # Trimming an oversized report for the upload, against copying the same
    # bytes once: within 3x, in flat memory. Three reports: one big agent log
    # that holds "tail" and is cut, the same log without it (copied whole after
    # the first pass), and small blocks that each hold "tail" but are too short
    # to be cut. Peak memory as GNU time saw it.
    local mib="${BENCH_TRIM_MIB:-2048}" shape
    trimmed() { # sets trim_seconds (the best) and trim_peak_mib (the largest)
        trim_seconds="" trim_peak_mib=0
        local run seconds peak
        for ((run = 0; run < runs; ++run)); do
            timed /usr/bin/time -f '%M' -o "$work/time" "$bin/trimbench" "$@"
            seconds="$(sed -n 's/^seconds=//p' "$work/out")"
            peak=$(($(cat "$work/time") / 1024))
            ((peak > trim_peak_mib)) && trim_peak_mib="$peak"
            trim_seconds="$(awk -v a="$seconds" -v b="$trim_seconds" 'BEGIN { print (b == "" || a < b) ? a : b }')"
        done
    }
    for shape in log-with-tail log small-blocks; do
        "$bin/trimbench" generate "$work/trim-in" "$mib" "$shape"
        trimmed copy "$work/trim-in" "$work/trim-out"
        local copy_seconds="$trim_seconds" copy_peak="$trim_peak_mib"
        trimmed trim "$work/trim-in" "$work/trim-out"
        row "trim: $mib MiB report ($shape)" "$trim_seconds s" "copy the same bytes" \
            "$copy_seconds s" "ratio <= 3.00" "$(verdict "$trim_seconds <= 3 * $copy_seconds")"
        row "  peak memory" "$trim_peak_mib MiB" "the copy's" "$copy_peak MiB" "flat" ""
        rm -f "$work/trim-in" "$work/trim-out"
    done
}

# intact FILE COMMAND BYTES: the report is the command's one block, and its
# standard output section holds exactly what the command prints.
intact() {
    local head
    head="$(printf '%*s' 45 '' | tr ' ' -)Results for: /bin/sh -c $2"$'\n'"stdout:"$'\n'
    [[ "$(stat -c %s "$1")" == $((${#head} + $3 + 1)) ]] &&
        tail -c "+$((${#head} + 1))" "$1" | head -c "$3" | cmp -s - <(sh -c "$2")
}

memory() {
    local line='2026-12-06 12:00:00 agent: resolver answered in 12 ms for www.example.com'
    local mib mode command result
    local home="$work/home"
    mkdir -p "$home/Desktop"
    : >"$work/memory.tsv"
    for mib in ${BENCH_MEMORY_MIB:-64 512 2048}; do
        command="yes '$line' | head -c $((mib * 1024 * 1024))"
        for mode in console file desktop; do
            rm -f "$work/report" "$home/Desktop/diagnostic_results.txt"
            case "$mode" in
            console) stdout_file=/dev/null program --console 1 "$command" ;;
            file) program --output "$work/report" 1 "$command" ;;
            desktop) HOME="$home" XDG_CONFIG_HOME="$home/.config" program --upload 1 "$command" ;;
            esac
            local expected=0 report="$work/report"
            [[ "$mode" == desktop ]] && expected=1 report="$home/Desktop/diagnostic_results.txt"
            if [[ -z "$peak_mib" || "$status" != "$expected" ]]; then
                result="aborted"
                echo "memory $mib MiB $mode: status $status: $(tail -n 1 "$work/err")"
            else
                result="$(printf '%.0f' "$peak_mib")"
                local whole="report intact"
                [[ "$mode" == console ]] && whole="report to /dev/null"
                [[ "$mode" != console ]] && ! intact "$report" "$command" $((mib * 1024 * 1024)) &&
                    whole="REPORT NOT INTACT"
                row "memory: $mib MiB, $mode" "$result MiB" "printed" "$mib MiB" "< 128 MiB" \
                    "$(verdict "$result < 128"), $whole"
            fi
            printf '%s\t%s\t%s\n' "$mib" "$mode" "$result" >>"$work/memory.tsv"
        done
    done
    rm -f "$work/report" "$home/Desktop/diagnostic_results.txt"
    if [[ -n "${BENCH_RECORD:-}" ]]; then
        "$repo/bench/plot-memory.sh" record "$BENCH_RECORD" "$work/memory.tsv"
    fi
}

echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { print int($2 / 1048576) }' /proc/meminfo) GiB;" \
    "commit $(git -C "$repo" rev-parse --short HEAD); load $(load); best of $runs runs"
[[ -z "${BENCH_REVISION:-}" ]] || echo "the controller of revision $BENCH_REVISION: $runbench"
for figure in "${figures[@]}"; do
    case "$figure" in
    scheduling | idle | battery | capture | scale | trim | memory) "$figure" ;;
    *) echo "unknown figure: $figure" >&2; exit 2 ;;
    esac
done
echo "load at the end: $(load)"

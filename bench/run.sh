#!/usr/bin/env bash
# Builds the benchmarks and prints every figure beside its anchor, measured in
# the same run, with the ratio and the goal. Process creation is slow on some
# machines, so a figure is judged by its ratio to the anchor, not by its time.
#
# Usage: bench/run.sh [FIGURE...]
#   FIGURE: scheduling idle battery capture scale trim memory read view mask
#           (default: all)
# Environment:
#   BENCH_RUNS=3          runs of each timed step; the best time counts
#   BENCH_TRIM_MIB=2048   size of the trimmed report (needs twice that free)
#   BENCH_CAP_GIB=12      address-space cap of every run of the program, so
#                         that a run that needs too much fails instead of the
#                         machine
#   BENCH_MEMORY_MIB="64 512 2048"   memory: the sizes of output, in MiB
#   BENCH_READ_BATCH=10000   read: how many typical reports one --read reads
#   BENCH_READ_RUNS=40    read: runs of each call on one report; the best counts
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

# buildRevision REV: builds runbench from the sources of REV with today's
# bench/, in build-bench/revision-REV; the test build's endpoints.
buildRevision() {
    local tree="$build/revision-$1"
    if [[ ! -d "$tree/source" ]]; then
        echo "building runbench for $1 in $tree" >&2
        mkdir -p "$tree/source"
        git -C "$repo" archive "$1" | tar -x -C "$tree/source"
        grep -q VELTRANE_BENCH "$tree/source/CMakeLists.txt" ||
            echo 'add_subdirectory(bench)' >>"$tree/source/CMakeLists.txt"
    fi
    rm -rf "$tree/source/bench" && cp -a "$repo/bench" "$tree/source/bench"
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$repo}" CCACHE_NOHASHDIR=1
    {
        [[ -f "$tree/build/build.ninja" ]] ||
            cmake -S "$tree/source" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DBUILD_TESTING=OFF -DVELTRANE_BENCH=ON \
                -DVELTRANE_ENDPOINTS_FILE="$repo/config/loopback.endpoints"
        cmake --build "$tree/build" --target runbench
    } >"$tree/build.log" 2>&1 || { cat "$tree/build.log" >&2; exit 1; }
}

if [[ "${VELTRANE_BENCH_INSIDE:-0}" != 1 ]]; then
    VELTRANE_BENCH_PACKAGES=1 VELTRANE_TEST_PACKAGES=1 "$repo/scripts/setup.sh" "$build" \
        -DVELTRANE_BENCH=ON -DBUILD_TESTING=OFF \
        -DVELTRANE_ENDPOINTS_FILE="$repo/config/loopback.endpoints"
    if [[ -n "${BENCH_REVISION:-}" ]]; then
        BENCH_REVISION="$(git -C "$repo" rev-parse --short "$BENCH_REVISION")"
        buildRevision "$BENCH_REVISION"
        export BENCH_REVISION BENCH_RUNBENCH="$build/revision-$BENCH_REVISION/build/bin/runbench"
    fi
    hosts="$build/loopback.hosts"
    { cat /etc/hosts; awk -F' *= *' '!/^#/ && NF == 2 && $2 !~ /^[0-9.]+$/ && $2 !~ /:/ {
        print "127.0.0.1 " $2 }' "$repo/config/loopback.endpoints"; } >"$hosts"
    VELTRANE_BENCH_INSIDE=1 exec "$repo/scripts/isolated.sh" unshare --mount bash -c \
        'mount --bind "$1" /etc/hosts && shift && exec "$@"' bind-hosts "$hosts" "$0" "$@"
fi

runs="${BENCH_RUNS:-3}"
runbench="${BENCH_RUNBENCH:-$bin/runbench}"
cap_kib=$((${BENCH_CAP_GIB:-12} * 1024 * 1024))
figures=("$@")
((${#figures[@]})) || figures=(scheduling idle battery capture scale trim memory read view mask)
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
# verdict CONDITION: "meets" or "MISSES", from an awk condition. A ratio is
# judged as it is shown, to two decimals.
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

# least VARIABLE VALUE, most VARIABLE VALUE: keep the least or the most value.
least() { [[ -n "${!1:-}" ]] && awk "BEGIN { exit !(${!1} <= $2) }" || printf -v "$1" '%s' "$2"; }
most() { [[ -n "${!1:-}" ]] && awk "BEGIN { exit !(${!1} >= $2) }" || printf -v "$1" '%s' "$2"; }

# program [runbench arguments]: runs the program under the address-space cap;
# sets elapsed, status, cpu_ms and peak_mib (empty when it printed none).
program() {
    timed bash -c 'ulimit -v "$1" && shift && exec "$@"' capped "$cap_kib" "$runbench" "$@"
    cpu_ms="" peak_mib=""
    local pattern='s/^runbench: cpu_ms=\([0-9.]*\) peak_mib=\([0-9.]*\) .*/\1 \2/p'
    read -r cpu_ms peak_mib < <(sed -n "$pattern" "$work/err") || true
}

# xargsRun COUNT COMMAND: the anchor. xargs -P COUNT runs the same commands,
# each by the shell with its streams redirected to files; sets elapsed.
xargsRun() {
    local command="${2//\{\}/\$1}"
    rm -rf "$work/anchor" && mkdir "$work/anchor"
    timed bash -c 'seq "$1" | xargs -P "$1" -I{} sh -c "$2" "$3" {}' xargs "$1" \
        "exec >\"\$0/\$1.out\" 2>\"\$0/\$1.err\"; $command" "$work/anchor"
    [[ "$status" == 0 ]] || { echo "xargs failed: $(tail -n 1 "$work/err")" >&2; exit 1; }
    rm -rf "$work/anchor"
}

# pipedRun COUNT COMMAND: as xargsRun, but each stream goes through a pipe to
# a cat that writes the file; sets elapsed.
pipedRun() {
    local command="${2//\{\}/\$1}"
    rm -rf "$work/anchor" && mkdir "$work/anchor"
    timed bash -c 'seq "$1" | xargs -P "$1" -I{} sh -c "$2" "$3" {}' xargs "$1" \
        "{ { $command; } 2>&1 >&3 | cat >\"\$0/\$1.err\"; } 3>&1 | cat >\"\$0/\$1.out\"" \
        "$work/anchor"
    [[ "$status" == 0 ]] || { echo "the piped reference failed" >&2; exit 1; }
    rm -rf "$work/anchor"
}

# compare COUNT COMMAND [xargs [piped]]: BENCH_RUNS times, the program with
# COUNT copies of COMMAND, its report to $work/report, and in turn with it the
# runs asked for. Sets seconds, cpu, xargs_seconds and piped_seconds (the
# least of each) and peak (the most).
compare() {
    seconds="" cpu="" peak="" xargs_seconds="" piped_seconds=""
    local run
    for ((run = 0; run < runs; ++run)); do
        program --output "$work/report" "$1" "$2"
        if [[ "$status" != 0 || -z "$peak_mib" ]]; then
            echo "runbench $1 '$2' failed with status $status:" >&2
            tail -n 5 "$work/err" >&2
            exit 1
        fi
        least seconds "$elapsed"
        least cpu "$cpu_ms"
        most peak "$peak_mib"
        if [[ "${3:-}" == xargs ]]; then
            xargsRun "$1" "$2"
            least xargs_seconds "$elapsed"
        fi
        if [[ "${4:-}" == piped ]]; then
            pipedRun "$1" "$2"
            least piped_seconds "$elapsed"
        fi
    done
}

# timeRow FIGURE SECONDS ANCHOR ANCHOR_SECONDS MOST_RATIO
timeRow() {
    row "$1" "$2 s" "$3" "$4 s" "ratio <= $5" "$(verdict "$(ratio "$2" "$4") <= $5")"
}

# row FIGURE VALUE ANCHOR ANCHOR_VALUE GOAL VERDICT
row() {
    printf '%-40s %10s | %-26s %10s | ratio %5s | goal %-24s %s | load %s\n' \
        "$1" "$2" "$3" "$4" "$(ratio "${2% *}" "${4% *}")" "$5" "$6" "$(load)"
}

scheduling() {
    compare 70 'sleep 1' xargs
    sleep1_cpu="$cpu"
    timeRow "scheduling: 70 x sleep 1, report to file" "$seconds" "xargs -P 70" \
        "$xargs_seconds" 1.00
    printf '  above the physical limit of 1.000 s: the program by %.3f s, xargs by %.3f s;' \
        "$(awk "BEGIN { print $seconds - 1 }")" "$(awk "BEGIN { print $xargs_seconds - 1 }")"
    printf ' peak memory %s MiB\n' "$peak"
}

idle() {
    [[ -n "${sleep1_cpu:-}" ]] || { compare 70 'sleep 1' && sleep1_cpu="$cpu"; }
    compare 70 'sleep 5'
    local cost
    cost="$(awk "BEGIN { printf \"%.1f\", $cpu - $sleep1_cpu }")"
    printf '%-40s %10s | %-26s %10s | goal %-24s %s | load %s\n' \
        "idle: own CPU, 70 x sleep 5 minus sleep 1" "$cost ms" "own CPU 5 s, 1 s" \
        "$cpu, $sleep1_cpu ms" "< 20 ms" "$(verdict "$cost < 20")" "$(load)"
}

battery() {
    # Each command of the battery alone, once, for the slowest; then the whole
    # battery and the slowest command alone in turn.
    local slowest=() slowest_seconds=0 line alone="" whole=""
    "$bin/runbench" --list-battery >"$work/battery.list"
    while IFS=$'\t' read -r -a line; do
        timed "${line[@]}"
        if awk "BEGIN { exit !($elapsed > $slowest_seconds) }"; then
            slowest=("${line[@]}") slowest_seconds="$elapsed"
        fi
    done <"$work/battery.list"
    local run shell=""
    for ((run = 0; run < runs; ++run)); do
        timed "$bin/veltrane-diagnostic" -s -o "$work/battery.txt"
        [[ "$status" == 0 ]] || { echo "the battery run failed" >&2; exit 1; }
        least whole "$elapsed"
        timed "${slowest[@]}"
        least alone "$elapsed"
        # For reference: the same commands started by the shell, each into a
        # file, all at once.
        timed bash -c 'n=0; while IFS="$2" read -r -a line; do
                "${line[@]}" >"$1/shell-$((++n))" 2>&1 &
            done <"$1/battery.list"; wait' shell "$work" $'\t'
        rm -f "$work"/shell-*
        least shell "$elapsed"
    done
    timeRow "battery: -s -o FILE, $(wc -l <"$work/battery.list") commands" "$whole" \
        "slowest command alone" "$alone" 1.05
    echo "  slowest command: ${slowest[*]}"
    echo "  the same commands started by the shell at once, each into a file: $shell s"
}

capture() {
    local out='yes "2026-12-06 12:00:00 service: resolver answered for www.example.com"'
    local err='yes "2026-12-06 12:00:00 service: upstream timed out"'
    local both="$out | head -c 268435456 & $err | head -c 268435456 >&2; wait"
    local each='yes "2026-12-06 12:00:00 command {}: resolver answered for www.example.com"'
    each+=' | head -c 4194304'
    local name count command bytes
    for name in "256 MiB on each stream at once" "70 commands x 4 MiB"; do
        count=1 command="$both" bytes=$((512 * 1024 * 1024))
        [[ "$name" == 70* ]] && count=70 command="$each" bytes=$((70 * 4 * 1024 * 1024))
        compare "$count" "$command" xargs piped
        (($(stat -c %s "$work/report") > bytes)) ||
            { echo "capture: the report lacks output" >&2; exit 1; }
        timeRow "capture: $name" "$seconds" "the shell into files" "$xargs_seconds" 2.00
        row "  peak memory" "$peak MiB" "limit" "128 MiB" "< 128 MiB" "$(verdict "$peak < 128")"
        # What the pipes alone cost, for reference.
        echo "  the same through pipes, each read by cat into a file: $piped_seconds s"
    done
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
    compare 2000 'echo {}; sleep 1' xargs
    local complete=yes
    inOrder 2000 "$work/report" || complete=NO
    timeRow "scale: 2000 x (echo N; sleep 1)" "$seconds" "xargs -P 2000" "$xargs_seconds" 1.50
    echo "  every block present, in start order, none lost to a launch failure: $complete;" \
        "peak memory $peak MiB"
    rm -f "$work/report"
}

trim() {
    # Trimming an oversized report for the upload, against copying the same
    # bytes once, in turn: within 3x, in flat memory. Three reports: one big
    # agent log that holds "tail" and is cut, the same log without it (copied
    # whole after the first pass), and small blocks that each hold "tail" but
    # are too short to be cut. Peak memory as GNU time saw it.
    local mib="${BENCH_TRIM_MIB:-2048}" shape step run
    local -A seconds_of peak_of
    for shape in log-with-tail log small-blocks; do
        "$bin/trimbench" generate "$work/trim-in" "$mib" "$shape"
        seconds_of=() peak_of=()
        for ((run = 0; run < runs; ++run)); do
            for step in copy trim; do
                timed /usr/bin/time -f '%M' -o "$work/time" "$bin/trimbench" "$step" \
                    "$work/trim-in" "$work/trim-out"
                [[ "$status" == 0 ]] || { echo "trimbench $step failed" >&2; exit 1; }
                least "seconds_of[$step]" "$(sed -n 's/^seconds=//p' "$work/out")"
                most "peak_of[$step]" $(($(cat "$work/time") / 1024))
            done
        done
        timeRow "trim: $mib MiB report ($shape)" "${seconds_of[trim]}" "copy the same bytes" \
            "${seconds_of[copy]}" 3.00
        row "  peak memory" "${peak_of[trim]} MiB" "the copy's" "${peak_of[copy]} MiB" "flat" ""
        rm -f "$work/trim-in" "$work/trim-out"
    done
}

# intact FILE COMMAND BYTES: the report is the command's one block, and its
# standard output section holds exactly what the command prints.
intact() {
    local head kept=$((512 << 20))
    head="$(printf '%*s' 45 '' | tr ' ' -)Results for: /bin/sh -c $2"$'\n'"stdout:"$'\n'
    if (($3 <= 2 * kept)); then
        [[ "$(stat -c %s "$1")" == $((${#head} + $3 + 1)) ]] &&
            cmp -s --ignore-initial="${#head}:0" --bytes="$3" "$1" <(sh -c "$2")
        return
    fi
    # Over 1 GiB, the first and the last 512 MiB, around a line that counts
    # the rest (the log lines do not end at 512 MiB: a line break first).
    local marker=$'\n'"($(($3 - 2 * kept)) bytes left out here)"$'\n'
    [[ "$(stat -c %s "$1")" == $((${#head} + 2 * kept + ${#marker} + 1)) ]] &&
        cmp -s --ignore-initial="${#head}:0" --bytes="$kept" "$1" <(sh -c "$2") &&
        cmp -s --ignore-initial="$((${#head} + kept)):0" --bytes="${#marker}" "$1" \
            <(printf '%s' "$marker") &&
        cmp -s <(tail -c $((kept + 1)) "$1" | head -c "$kept") <(sh -c "$2" | tail -c "$kept")
}

memory() {
    local logLine='2026-12-06 12:00:00 agent: resolver answered in 12 ms for www.example.com'
    local mib mode command result
    local home="$work/home"
    mkdir -p "$home/Desktop"
    : >"$work/memory.tsv"
    for mib in ${BENCH_MEMORY_MIB:-64 512 2048}; do
        command="yes '$logLine' | head -c $((mib * 1024 * 1024))"
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
    # Kept for bench/plot-memory.sh record.
    cp "$work/memory.tsv" "$build/memory.tsv"
    if [[ -n "${BENCH_RECORD:-}" ]]; then
        "$repo/bench/plot-memory.sh" record "$BENCH_RECORD" "$build/memory.tsv"
    fi
}

# bestOf VARIABLE COMMAND...: the least time of BENCH_RUNS runs of the command.
bestOf() {
    local variable="$1" run
    shift
    printf -v "$variable" '%s' ""
    for ((run = 0; run < runs; ++run)); do
        timed "$@"
        [[ "$status" == 0 ]] || { echo "failed ($status): $* $(tail -n 1 "$work/err")" >&2; exit 1; }
        least "$variable" "$elapsed"
    done
}

readReports() {
    # Reading saved reports (--read), against copying the same bytes with cat,
    # on one core. A typical report is the battery's own, with a test domain
    # and the agent's tests; the 1 MB one is the same with an agent log of
    # about 1 MB among its blocks; the batch is that many copies of the first.
    local typical="$work/typical.txt" large="$work/large.txt" batch="$work/batch"
    local count="${BENCH_READ_BATCH:-10000}" one=(taskset -c 0) i
    timed "$bin/veltrane-diagnostic" -s -o "$typical" -d probe.veltrane.test --amx
    [[ "$status" == 0 ]] || { echo "the battery run failed" >&2; exit 1; }
    local logLine='2026-12-06 12:00:00 agent: resolver answered in 12 ms for www.example.com'
    {
        sed '/^-*Results for: \/bin\/sh -c journalctl\|^-*Results for: \/bin\/sh -c tail -n/,$d' "$typical"
        printf '%s%s\nstdout:\n' "$(printf '%*s' 45 '' | tr ' ' -)" \
            'Results for: /bin/sh -c cat "/Library/Application Support/Veltrane Ambrix/beacon-logs/service/agent.log"'
        head -c $((1024 * 1024 - $(stat -c %s "$typical"))) < <(yes "$logLine")
        echo
        sed -n '/^-*Results for: \/bin\/sh -c journalctl\|^-*Results for: \/bin\/sh -c tail -n/,$p' "$typical"
    } >"$large"
    mkdir -p "$batch" "$work/large"
    for ((i = 0; i < count; ++i)); do cp "$typical" "$batch/$i.txt"; done
    for ((i = 0; i < 100; ++i)); do cp "$large" "$work/large/$i.txt"; done
    # Written back before the timing, which the writing back would share the
    # cores with.
    sync
    # A call of a few milliseconds is timed by besttime, which starts it with
    # posix_spawn and keeps the best of many runs: a shell's fork and wait
    # would cost as much as cat itself.
    local name file program anchor quick="${BENCH_READ_RUNS:-40}"
    best() { "${one[@]}" "$bin/besttime" "$@"; }
    for name in typical large; do
        file="$work/$name.txt"
        program="$(best "$quick" "$bin/veltrane-diagnostic" --read "$file")"
        anchor="$(best "$quick" cat "$file")"
        timeRow "read: $(($(stat -c %s "$file") / 1024)) KiB report, one core" "$program" \
            "cat FILE > /dev/null" "$anchor" 5.00
    done
    # The program's start is paid once here: the reading itself beside the copy.
    program="$(best "$runs" "$bin/veltrane-diagnostic" --read "$work/large"/*)"
    anchor="$(best "$runs" cat "$work/large"/*)"
    row "read: 100 x 1024 KiB reports, one call" "$program s" "cat FILE... > /dev/null" \
        "$anchor s" "stated" ""
    program="$(best "$runs" "$bin/veltrane-diagnostic" --read "$batch"/*)"
    anchor="$(best "$runs" cat "$batch"/*)"
    row "read: $count typical reports, one call" "$program s" "cat FILE... > /dev/null" \
        "$anchor s" "stated" ""
    local rate
    rate="$(awk -v n="$count" -v s="$program" 'BEGIN { printf "%.0f", n / s }')"
    printf '%-40s %10s | goal %-24s %s | load %s\n' "  reports a second" "$rate" ">= 500" \
        "$(verdict "$rate >= 500")" "$(load)"
    echo "  the program's start alone (-h), for reference: $(best "$quick" "$bin/veltrane-diagnostic" -h) s"
    rm -rf "$batch" "$work/large" "$typical" "$large"
}

view() {
    # Opening the window's report view and finding in it, on the offscreen
    # platform, beside the same report put whole into one plain-text view.
    # Each step is one call on the window's thread: how long it stands still.
    local kib run pages open anchor page find
    local pattern='s/^pages=\([0-9]*\) open_ms=\([0-9.]*\) anchor_ms=\([0-9.]*\)'
    pattern+=' page_ms=\([0-9.]*\) find_ms=\([0-9.]*\)$/\1 \2 \3 \4 \5/p'
    for kib in 50 20480; do
        local best_open="" best_anchor="" best_page="" best_find=""
        for ((run = 0; run < runs; ++run)); do
            timed env QT_QPA_PLATFORM=offscreen "$bin/viewbench" "$kib"
            [[ "$status" == 0 ]] || { echo "viewbench $kib failed" >&2; exit 1; }
            read -r pages open anchor page find < <(sed -n "$pattern" "$work/out")
            least best_open "$open"
            least best_anchor "$anchor"
            least best_page "$page"
            least best_find "$find"
        done
        if ((pages == 1)); then
            row "view: open a $kib KiB report" "$best_open ms" "the whole text in one view" \
                "$best_anchor ms" "ratio <= 2.00" \
                "$(verdict "$(ratio "$best_open" "$best_anchor") <= 2.00")"
            continue
        fi
        row "view: open a $((kib / 1024)) MiB report ($pages pages)" "$best_open ms" \
            "the whole text in one view" "$best_anchor ms" "< 100 ms" "$(verdict "$best_open < 100")"
        row "  next page" "$best_page ms" "the same" "$best_anchor ms" "< 100 ms" \
            "$(verdict "$best_page < 100")"
        row "  find the last line's word" "$best_find ms" "the same" "$best_anchor ms" "< 100 ms" \
            "$(verdict "$best_find < 100")"
    done
}

mask() {
    # Masking a process list as it arrives, beside the UTF-8 check that the
    # capture makes of the same bytes anyway; peak memory as GNU time saw it.
    local mib run
    for mib in 16 256; do
        local best_mask="" best_check="" peak=""
        for ((run = 0; run < runs; ++run)); do
            timed /usr/bin/time -f '%M' -o "$work/time" "$bin/maskbench" "$mib"
            [[ "$status" == 0 ]] || { echo "maskbench $mib failed" >&2; exit 1; }
            least best_mask "$(sed -n 's/^mask_seconds=\([0-9.]*\) .*/\1/p' "$work/out")"
            least best_check "$(sed -n 's/.* check_seconds=\([0-9.]*\) .*/\1/p' "$work/out")"
            most peak $(($(cat "$work/time") / 1024))
        done
        row "mask: $mib MiB of process list" "$best_mask s" "its UTF-8 check" "$best_check s" \
            "stated" ""
        row "  peak memory" "$peak MiB" "its size" "$mib MiB" "flat" ""
    done
}

echo "machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { print int($2 / 1048576) }' /proc/meminfo) GiB;" \
    "commit $(git -C "$repo" rev-parse --short HEAD); load $(load); best of $runs runs"
[[ -z "${BENCH_REVISION:-}" ]] || echo "the controller of revision $BENCH_REVISION: $runbench"
for figure in "${figures[@]}"; do
    case "$figure" in
    scheduling | idle | battery | capture | scale | trim | memory | view | mask) "$figure" ;;
    read) readReports ;;
    *) echo "unknown figure: $figure" >&2; exit 2 ;;
    esac
done
echo "load at the end: $(load)"

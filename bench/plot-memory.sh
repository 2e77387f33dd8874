#!/usr/bin/env bash
# The memory runs' table and plot in docs/: peak resident memory against the
# bytes one command printed, for each state of the code that was measured.
#
#   bench/plot-memory.sh record COLUMN FILE   puts the peaks of FILE (lines of
#                                             "MIB<tab>MODE<tab>PEAK", from
#                                             bench/run.sh memory) into COLUMN
#                                             of the table, then draws
#   bench/plot-memory.sh                      draws docs/performance-memory.png
#
# A peak of "aborted" is a run that did not complete; the plot shows it at the
# address-space cap the runs had.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
table="$repo/docs/performance-memory.tsv"
plot="$repo/docs/performance-memory.png"
cap_mib=$((${BENCH_CAP_GIB:-12} * 1024))

if [[ "${1:-}" == record ]]; then
    column="$2" measured="$3"
    [[ -f "$table" ]] || printf 'mib\tmode\n' >"$table"
    awk -F'\t' -v OFS='\t' -v column="$column" '
        FNR == NR { peak[$1 FS $2] = $3; next }
        FNR == 1 {
            for (i = 1; i <= NF; ++i) if ($i == column) at = i
            if (!at) { at = NF + 1; $at = column }
            width = NF; print; next }
        { key = $1 FS $2; if (key in peak) { $at = peak[key]; delete peak[key] }
          for (i = 3; i <= width; ++i) if ($i == "") $i = "-"
          print }
        END { for (key in peak) { split(key, k, FS); line = k[1] OFS k[2]
                  for (i = 3; i <= width; ++i) line = line OFS (i == at ? peak[key] : "-")
                  print line } }' "$measured" "$table" >"$table.new"
    # By size, then by mode, as the runs make them.
    { head -n 1 "$table.new"; tail -n +2 "$table.new" | sort -t$'\t' -k1,1n -k2,2; } >"$table"
    rm -f "$table.new"
fi

# One data file per state and mode: the completed runs, and the aborted ones
# at the cap.
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
IFS=$'\t' read -r -a columns < <(head -n 1 "$table")
colours=(dark-red dark-orange web-blue forest-green dark-violet)
series=("128 with lines lc rgb 'gray' dt 2 title 'goal: under 128 MiB'")
for ((i = 2; i < ${#columns[@]}; ++i)); do
    colour="${colours[$(((i - 2) % ${#colours[@]}))]}"
    for mode in console file desktop; do
        case "$mode" in console) point=7 ;; file) point=5 ;; *) point=9 ;; esac
        awk -F'\t' -v mode="$mode" -v at=$((i + 1)) -v cap="$cap_mib" \
            -v completed="$data/$i-$mode" -v aborted="$data/$i-$mode-aborted" '
            FNR > 1 && $2 == mode && $at ~ /^[0-9.]+$/ { print $1, $at > completed }
            FNR > 1 && $2 == mode && $at == "aborted" { print $1, cap > aborted }' "$table"
        touch "$data/$i-$mode" "$data/$i-$mode-aborted"
        style="with linespoints lc rgb '$colour' pt $point"
        series+=("'$data/$i-$mode' $style title '${columns[i]}, $mode'")
        [[ -s "$data/$i-$mode-aborted" ]] &&
            series+=("'$data/$i-$mode-aborted' with points lc rgb '$colour' pt 2 ps 2 notitle")
    done
done

gnuplot <<END
set terminal pngcairo size 760,600 font 'DejaVu Sans,10'
set output '$plot'
set title 'Peak resident memory of a run whose one command prints N MiB'
set xlabel 'MiB printed by the command'
set ylabel 'peak resident memory, MiB'
set logscale xy 2
set xrange [45:2900]
set yrange [4:$((cap_mib * 2))]
set xtics (64, 512, 2048)
set ytics (8, 32, 128, 512, 2048, 8192)
set grid
set key below left Left reverse maxcols 1
set label 'x: aborted at the ${cap_mib} MiB address-space cap' at graph 0.02, graph 0.95
plot $(IFS=,; echo "${series[*]}")
END

#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a bounded
# time. A target that finds an input breaking one of its properties stops and
# leaves the input as build-fuzz/<target>-crash-*; the script then fails. The
# inputs worth keeping gather in build-fuzz/corpus/<target>/ from run to run.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"

CC=clang CXX=clang++ VELTRANE_FUZZ_PACKAGES=1 "$repo/scripts/setup.sh" "$repo/build-fuzz" \
    -DVELTRANE_FUZZ=ON -DBUILD_TESTING=OFF
cd "$repo/build-fuzz"
for target in bin/fuzz_*; do
    name="$(basename "$target")"
    mkdir -p "corpus/$name"
    options=(-max_total_time="$seconds" -artifact_prefix="$PWD/$name-")
    if [[ -f "$repo/fuzz/$name.dict" ]]; then
        options+=(-dict="$repo/fuzz/$name.dict")
    fi
    echo "fuzzing $name for $seconds s" >&2
    "$target" "${options[@]}" "corpus/$name" 2>"$name.log" || {
        tail -n 40 "$name.log" >&2
        exit 1
    }
    grep -E '^Done|^#[0-9]+ *DONE' "$name.log" >&2 || true
done

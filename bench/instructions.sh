#!/usr/bin/env bash
# Instructions per item of every benchmark, counted by callgrind: unlike times, these repeat
# exactly from run to run on a busy machine, so they show whether a change helped and whether the
# cost per item stays flat as the tree grows. Slow (several minutes for the 10^5-item trees).
#
#   bench/instructions.sh [path/to/bench_model] [Markup WriteSave LoadRead ArchiveRoundTrip CopyFrom]
#
# SIZES="1000 10000" limits the tree sizes. Each benchmark runs once per size, one iteration, in
# its own process; only its timed loop is counted, after one uncounted run (see Measure in
# bench_model.cpp).
set -euo pipefail

bin=${1:-build-bench/bin/bench_model}
shift || true
sizes=${SIZES:-"1000 10000 100000"}
pairs=("Markup MarkupBaseline" "WriteSave WriteSaveBaseline" "LoadRead LoadReadBaseline"
       "ArchiveRoundTrip ArchiveBaseline" "CopyFrom CopyFromBaseline")
if [ $# -gt 0 ]; then
    wanted=" $* "
    chosen=()
    for pair in "${pairs[@]}"; do
        [[ $wanted == *" ${pair%% *} "* ]] && chosen+=("$pair")
    done
    [ ${#chosen[@]} -gt 0 ] || { echo "no benchmark among: ${pairs[*]%% *}" >&2; exit 1; }
    pairs=("${chosen[@]}")
fi
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
[ -x "$bin" ] || { echo "$bin: not built (make bench)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "instructions iterations items" of one benchmark at one size.
count() {
    local name=$1 size=$2 log="$work/log" csv="$work/out.csv"
    valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no \
        --callgrind-out-file="$work/callgrind.out" \
        "$bin" --benchmark_filter="^$name/$size\$" --benchmark_min_time=0 \
        --benchmark_out="$csv" --benchmark_out_format=csv >"$log" 2>&1 ||
        { cat "$log" >&2; return 1; }
    local ir
    ir=$(sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$log")
    # CSV columns: name,iterations,...; the last column is the "items" counter.
    local row
    row=$(awk -F, -v want="\"$name/$size\"" '$1 == want { print $2, $NF }' "$csv")
    [ -n "$ir" ] && [ -n "$row" ] || { echo "$name/$size did not run" >&2; cat "$log" >&2; return 1; }
    echo "$ir $row"
}

echo "| Operation | Tree items | Items measured | Instructions per item | Baseline per item | Ratio | Per item vs smallest tree |"
echo "|---|--:|--:|--:|--:|--:|--:|"
for pair in "${pairs[@]}"; do
    read -r name baseline <<<"$pair"
    first=""
    for size in $sizes; do
        read -r ir iterations items < <(count "$name" "$size")
        read -r bir biterations _ < <(count "$baseline" "$size")
        awk -v n="$name" -v s="$size" -v ir="$ir" -v it="$iterations" -v items="$items" \
            -v bir="$bir" -v bit="$biterations" -v first="$first" 'BEGIN {
            per = ir / it / items; bper = bir / bit / items
            growth = first == "" ? 1 : per / first
            printf "| %s | %d | %d | %.0f | %.0f | %.2f | %.2f |\n", n, s, items, per, bper, per / bper, growth
        }'
        [ -n "$first" ] || first=$(awk -v ir="$ir" -v it="$iterations" -v items="$items" 'BEGIN { print ir / it / items }')
    done
done

#!/usr/bin/env bash
# Builds the benchmarks in release, writes the documents, runs every benchmark and the peak-memory
# loads, and writes docs/performance.md with docs/performance.svg.
# Usage: bench/run.sh            all sizes (1, 10, 100 MB): the published report
#        SIZES="1 10" bench/run.sh   a quicker run while working (the report says which sizes ran)
#        bench/run.sh --build        install the peers and build the benchmarks only (CI)
# Environment: BUILD (build folder, default build/bench), FILTER (extra --benchmark_filter regex).
set -euo pipefail
cd "$(dirname "$0")/.."

# The peers and the tools the run needs, from Debian's packages.
bash scripts/deps.sh libbenchmark-dev libpugixml-dev libtinyxml2-dev libxml2-dev time python3

BUILD="${BUILD:-build/bench}"
SIZES="${SIZES:-1 10 100}"
DATA=bench/data
mkdir -p "$DATA"

cmake --preset bench -B "$BUILD" -DLINEXML_TOOLS=OFF -DLINEXML_WERROR=ON >/dev/null
cmake --build "$BUILD" -j 2 --target linexml_gen linexml_bench linexml_load_once
BIN="$BUILD/bench"
[ "${1:-}" = --build ] && exit 0

# The documents are deterministic: written again only when the generator changed.
gen() {  # shape size file
  if [ ! -s "$3" ] || [ "$BIN/linexml_gen" -nt "$3" ]; then "$BIN/linexml_gen" "$1" "$2" "$3"; fi
}
for shape in records text deep; do
  for mb in $SIZES; do gen "$shape" $((mb << 20)) "$DATA/$shape-${mb}mb.xml"; done
done
# Large enough that n already overflows the caches: the ratio then shows the algorithm's growth.
n=$((16 << 20))
for shape in brs comments oneline attrs; do
  m=$n
  [ "$shape" = comments ] && m=$((4 * n))  # a comment-laden record has few nodes: 16 MiB still fits
  gen "$shape" "$m" "$DATA/adv-$shape-n.xml"
  gen "$shape" $((4 * m)) "$DATA/adv-$shape-4n.xml"
done
gen chain 250000 "$DATA/adv-chain-n.xml"
gen chain 1000000 "$DATA/adv-chain-4n.xml"
# The same past the caches: 500,000 and 2,000,000 levels.
gen chain 500000 "$DATA/adv-chain2-n.xml"
gen chain 2000000 "$DATA/adv-chain2-4n.xml"

echo "== benchmarks"
args=(--benchmark_out="$DATA/results.json" --benchmark_out_format=json)
[ -n "${FILTER:-}" ] && args+=(--benchmark_filter="$FILTER")
LINEXML_BENCH_DATA="$DATA" LINEXML_BENCH_SIZES="$SIZES" "$BIN/linexml_bench" "${args[@]}" | grep -v -E '_(mean|stddev|cv) '

echo "== peak memory and time of one load in a fresh process"
: >"$DATA/memory.tsv"
for shape in records text deep; do
  for mb in $SIZES; do
    f="$DATA/$shape-${mb}mb.xml"
    for lib in baseline linexml linexml-1t pugixml tinyxml2 libxml2; do
      run=$lib
      [ "$shape" = deep ] && [ "$lib" = tinyxml2 ] && continue
      [ "$shape" = deep ] && [ "$lib" = libxml2 ] && run=libxml2-huge
      # Three fresh processes: the fastest load, and the largest peak.
      best="" kb=0
      for _ in 1 2 3; do
        /usr/bin/time -v -o "$DATA/time.txt" "$BIN/linexml_load_once" "$run" "$f" >"$DATA/seconds.txt"
        k=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$DATA/time.txt")
        s=$(cat "$DATA/seconds.txt")
        ((k > kb)) && kb=$k
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$s; fi
      done
      printf '%s\t%s\t%s\t%s\t%s\n' "$shape" "$mb" "$lib" "$kb" "$best" >>"$DATA/memory.tsv"
    done
  done
done
# Where linexml's loads of the largest records and text documents spend their time (the load
# benchmark alone under perf: the untimed first load and the timed ones), when perf is here.
rm -f "$DATA"/profile-*.txt
if command -v perf >/dev/null; then
  big=$(echo "$SIZES" | awk '{print $NF}')
  for shape in records text; do
    LINEXML_BENCH_DATA="$DATA" LINEXML_BENCH_SIZES="$big" perf record -q -o "$DATA/perf.data" -- \
      "$BIN/linexml_bench" --benchmark_filter="^load/$shape/${big}MB/linexml/" >/dev/null 2>&1 &&
      perf report -i "$DATA/perf.data" --no-children --stdio --sort symbol 2>/dev/null |
      grep -E '^ +[0-9]' | head -15 >"$DATA/profile-$shape.txt" || true
  done
fi
"$BIN/linexml_load_once" --stats "$DATA/records-$(echo "$SIZES" | awk '{print $NF}')mb.xml" >"$DATA/bytes.txt" || true
# The objects of each tree, for the memory floor of the targets.
for shape in records text; do
  for mb in $SIZES; do
    "$BIN/linexml_load_once" --stats "$DATA/$shape-${mb}mb.xml" >"$DATA/bytes-$shape-${mb}mb.txt" || true
  done
done

echo "== report"
python3 bench/report.py "$DATA" "$SIZES" docs/performance.md docs/performance.svg
echo "wrote docs/performance.md and docs/performance.svg"

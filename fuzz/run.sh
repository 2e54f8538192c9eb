#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs every fuzz target for SECONDS,
# JOBS targets at a time, starting from the committed corpus in fuzz/corpus/<target>/ (never
# written to: new inputs go to the build folder). Prints executions, coverage and peak memory per
# target; exits non-zero when a target found a crash, a leak or a failed check (its input is kept
# in the build folder and named in the output).
#
# Usage: fuzz/run.sh SECONDS [JOBS] [TARGET...]
#   LINEXML_FUZZ_BUILD  build folder (default build/fuzz, the preset's own)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:?usage: fuzz/run.sh SECONDS [JOBS] [TARGET...]}"
jobs="${2:-1}"
shift $(( $# >= 2 ? 2 : 1 ))
build="${LINEXML_FUZZ_BUILD:-build/fuzz}"

# shellcheck disable=SC2207
all_targets=($(sed -n 's/^set(LINEXML_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/targets.cmake))
targets=("${@:-${all_targets[@]}}")

bash scripts/deps.sh
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

out="$build/fuzz/runs"
mkdir -p "$out"

run_one() {
  local t="$1" work="$out/$1/corpus" log="$out/$1.log"
  rm -rf "${out:?}/$t"
  mkdir -p "$work" "$out/$t/crashes"
  "$build/fuzz/fuzz_$t" "$work" "fuzz/corpus/$t" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -dict=fuzz/xml.dict -print_final_stats=1 -artifact_prefix="$out/$t/crashes/" \
    >"$log" 2>&1 && echo 0 >"$out/$t.rc" || echo $? >"$out/$t.rc"
}

running=0
for t in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$t" ] || { echo "no fuzz target named $t" >&2; exit 2; }
  if ((running >= jobs)); then
    wait -n || true
    running=$((running - 1))
  fi
  rm -f "$out/$t.rc"
  run_one "$t" &
  running=$((running + 1))
done

wait
failed=0
printf '%-14s %12s %8s %8s %8s %10s  %s\n' target executions exec/s cov ft peak_MB result
for t in "${targets[@]}"; do
  rc=$(cat "$out/$t.rc" 2>/dev/null || echo 99)
  log="$out/$t.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  result=ok
  if ((rc != 0)); then
    result="FAILED (exit $rc)"
    failed=1
  fi
  printf '%-14s %12s %8s %8s %8s %10s  %s\n' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" \
    "${rss:-?}" "$result"
  if ((rc != 0)); then
    grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log" | head -20 | sed 's/^/    /'
    echo "    log: $log"
  fi
done
exit "$failed"

#!/usr/bin/env bash
# Builds price_fuzzer (clang, libFuzzer, ASan, UBSan) in build/fuzz and runs it
# for SECONDS seconds (default 60) on both cores, then prints executions,
# exec/s and coverage. Exits non-zero if the fuzzer found a fault; the
# offending inputs are kept in the run directory it names.
#
#   tools/fuzz.sh [SECONDS]
#
# The working corpus build/fuzz/corpus-run starts from the seeds in
# fuzz/corpus and keeps what earlier runs found; delete it to start afresh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

duration=${1:-60}
if ! [[ $duration =~ ^[0-9]+$ ]] || ((duration < 1)); then
  echo "usage: $0 [SECONDS]  (a positive whole number of seconds, default 60)" >&2
  exit 2
fi
# Two fuzzing processes, or one on a single core.
cores=$(nproc)
workers=$((cores < 2 ? cores : 2))

build=build/fuzz
echo "== configure and build $build (clang, ASan + UBSan + libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJDPRICER_BUILD_FUZZERS=ON -DJDPRICER_SANITIZE=ON \
  -DJDPRICER_BUILD_TESTS=OFF -DJDPRICER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target price_fuzzer -j "$workers"
fuzzer=$root/$build/fuzz/price_fuzzer

corpus=$root/$build/corpus-run
mkdir -p "$corpus"
cp "$root"/fuzz/corpus/* "$corpus"/
run=$root/$build/runs/$(date -u +%Y%m%dT%H%M%SZ)
mkdir -p "$run"

# Every sanitizer report is fatal and comes with a stack; later settings win,
# so these override anything inherited.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}halt_on_error=1:print_stacktrace=1:detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:print_stacktrace=1:print_summary=1"
if command -v llvm-symbolizer >/dev/null; then
  export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer)}
fi

echo "== fuzzing for ${duration}s with $workers process(es); logs and artifacts in $run"
status=0
# Each process logs to fuzz-<job>.log in the run directory, the driver that
# starts them to driver.log. A single input that runs 30 s is reported as a
# hang. Long series cost up to a third of a second per input against a
# fraction of a millisecond for the rest, so inputs are mutated less the
# slower they run; that doubles the executions at the same coverage.
(cd "$run" && "$fuzzer" -max_total_time="$duration" -print_final_stats=1 -max_len=87 \
  -entropic_scale_per_exec_time=1 -timeout=30 \
  -jobs="$workers" -workers="$workers" -artifact_prefix="$run/" \
  "$corpus" </dev/null >"$run/driver.log" 2>&1) || status=$?

# Figures from each process's last coverage line and final statistics.
echo "== summary"
total_execs=0
total_rate=0
for log in "$run"/fuzz-*.log; do
  [ -e "$log" ] || continue
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%s: %s executions, %s exec/s, cov: %s ft: %s\n' "$(basename "$log" .log)" \
    "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}"
  total_execs=$((total_execs + ${execs:-0}))
  total_rate=$((total_rate + ${rate:-0}))
done
echo "all processes: $total_execs executions, $total_rate exec/s"

# Coverage of the whole working corpus in one process, as the processes
# each count only what they saw themselves.
merged=$("$fuzzer" -runs=0 -max_len=87 "$corpus" </dev/null 2>&1 | grep -E 'INITED|DONE' | tail -n 1 || true)
echo "working corpus: $(ls "$corpus" | wc -l) units; $(sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p' <<<"$merged")"

artifacts=$(find "$run" -maxdepth 1 -type f \
  \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
if [ -n "$artifacts" ] || [ "$status" -ne 0 ]; then
  echo "== FAULT FOUND (fuzzer exit status $status)"
  for log in "$run"/fuzz-*.log; do
    grep -qE '^==[0-9]+==|runtime error|== mismatch|SUMMARY|deadly signal|Test unit written' "$log" \
      && { echo "-- $log"; grep -E -A 14 'runtime error|== mismatch|^==[0-9]+==ERROR|deadly signal' "$log" | head -n 30; }
  done
  for a in $artifacts; do
    echo "reproduce: $fuzzer $a"
  done
  exit 1
fi
echo "== no fault found"

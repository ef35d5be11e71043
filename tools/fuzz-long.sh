#!/usr/bin/env bash
# Runs every fuzz target of tests/fuzz under libFuzzer for SECONDS each
# (default 600), one after the other:
#
#   tools/fuzz-long.sh [SECONDS]
#
# Builds the targets with clang in build-fuzz (or BUILD_DIR) first. Each
# target starts from the corpus kept in the tree (tests/fuzz/corpus/<target>),
# the seeds the build writes and the kept regression inputs; the inputs it
# finds go to <build>/tests/fuzz/corpus/<target>, never into the tree, and a
# failing input to <build>/tests/fuzz/artifacts/<target>-*. Ends with one
# line per target: inputs run, seconds, and "ok" or what it found. Exit
# status 0 when no target found anything, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: tools/fuzz-long.sh [SECONDS]   (seconds per target, default 600)" >&2
  exit 2
fi
build=${BUILD_DIR:-build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVINE_ENGINE_ONLY=ON \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

# The target list and each target's longest input, as the build has them.
lists=tests/fuzz/CMakeLists.txt
read -r -a targets <<<"$(sed -n 's/^set(FUZZ_TARGETS \(.*\))$/\1/p' "$lists")"
out=$build/tests/fuzz
mkdir -p "$out/artifacts" "$out/logs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/containers/library_leaks.supp

summary=()
failed=0
for t in "${targets[@]}"; do
  max_len=$(sed -n "s/^set(FUZZ_MAX_LEN_$t \([0-9]*\))$/\1/p" "$lists")
  inputs=("$out/corpus/$t")
  for d in tests/fuzz/corpus/$t "$out/seeds/$t" tests/fuzz/regressions/$t; do
    [[ -d $d ]] && inputs+=("$d")
  done
  mkdir -p "$out/corpus/$t"
  log=$out/logs/$t.log
  echo "== $t: ${seconds} s from ${inputs[*]}"
  status=0
  "$out/fuzz_$t" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=4096 -timeout=120 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/$t-" "${inputs[@]}" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)$/\1/p' "$log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*$/\1/p' "$log" | tail -n 1)
  if [[ $status -eq 0 ]]; then
    verdict=ok
  else
    failed=1
    verdict="FOUND (exit $status): $(grep -m 1 -E '^(==[0-9]+==ERROR|SUMMARY|invariant broken|.*deadly signal)' "$log" || echo "see $log")"
    ls "$out/artifacts/$t-"* 2>/dev/null | sed 's/^/   input: /'
  fi
  summary+=("$(printf '%-16s %12s inputs %6s s  %s' "$t" "${runs:-?}" "${took:-?}" "$verdict")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$failed"

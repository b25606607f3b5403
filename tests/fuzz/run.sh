#!/usr/bin/env bash
# Runs every libFuzzer program of a fuzz build for a while, starting from the
# committed corpus. New inputs go to a scratch folder, not into the corpus;
# a crash, leak, time-out or failed expectation leaves its input in the
# artifacts folder, is printed, and makes the run fail. A finding is fixed
# and its input committed to tests/fuzz/corpus/<name>/, where the replay
# tests of every build run it from then on.
#
#   tests/fuzz/run.sh <fuzz build folder> [seconds per target] [name ...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh <fuzz build folder> [seconds per target] [name ...]}
seconds=${2:-25}
shift $(($# < 2 ? $# : 2))
names=("$@")
if ((${#names[@]} == 0)); then
  for program in "$build"/bin/*_fuzzer; do
    names+=("$(basename "$program" _fuzzer)")
  done
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=${FUZZ_ARTIFACTS:-$build/fuzz-artifacts}
mkdir -p "$artifacts"
failed=()
for name in "${names[@]}"; do
  echo "-- fuzzing $name for ${seconds}s"
  mkdir -p "$scratch/$name"
  # -timeout: an input that takes this long is a hang; the response target's
  # own time-outs are about a second.
  if ! "$build/bin/${name}_fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/${name}-" \
      "$scratch/$name" "$here/corpus/$name" >"$scratch/$name.log" 2>&1; then
    failed+=("$name")
    tail -n 60 "$scratch/$name.log"
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added):' "$scratch/$name.log" | tr '\n' ' ' || true
  echo
done
if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $artifacts)" >&2
  exit 1
fi
echo "fuzzing: no finding in ${#names[@]} targets"

#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset, clang) and runs each for a bounded time on a
# copy of its seed corpus in tests/fuzz/corpus/<target>/; the inputs a run discovers stay in a
# temporary folder, never in the repository. Exits non-zero on any crash, leak, timeout, memory
# blow-up or sanitizer report, and names the saved reproducer.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 30 seconds for every target
set -euo pipefail

seconds="${1:-30}"
shift || true
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
corpora="tests/fuzz/corpus"
bin="build-fuzz/bin"
artifacts="build-fuzz/fuzz-artifacts"

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for folder in "$corpora"/*/; do
    targets+=("$(basename "$folder")")
  done
fi
for target in "${targets[@]}"; do
  if [ ! -d "$corpora/$target" ]; then
    echo "error: no fuzz target \"$target\" (no $corpora/$target/)" >&2
    exit 2
  fi
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# Working corpora and the targets' scratch files; memory-backed when the machine has /dev/shm.
scratch_parent="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_parent=/dev/shm
work="$(mktemp -d "$scratch_parent/qvx-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

failed=()
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  log="$work/$target/fuzz.log"
  mkdir -p "$corpus" "$work/$target/tmp" "$artifacts/$target"
  cp "$corpora/$target"/* "$corpus"/
  rm -f "$artifacts/$target"/*

  # The plug-in target's host keeps every console line, so each input leaves memory in use and
  # the per-input leak scan would run after every input; leaks still fail the run when it ends.
  extra=()
  [ "$target" = ws_message ] && extra+=(-detect_leaks=0)

  echo "== fuzz_$target: ${seconds}s"
  status=0
  TMPDIR="$work/$target/tmp" \
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$bin/fuzz_$target" "$corpus" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$root/$artifacts/$target/" "${extra[@]}" >"$log" 2>&1 || status=$?

  if [ "$status" -eq 0 ]; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" | tr '\n' ' ' || true
    echo
    continue
  fi
  failed+=("$target")
  # What went wrong, then the end of the report; lines cut short (stack frames are very long).
  grep -m 10 -E 'ERROR: |runtime error: |fuzz property violated|SUMMARY: ' "$log" | cut -c1-240 || true
  tail -n 25 "$log" | cut -c1-240
  reproducers=("$artifacts/$target"/*)
  if [ ! -e "${reproducers[0]}" ]; then
    echo "fuzz_$target failed (exit $status); no input was saved (a leak found when the run ended?)"
  fi
  for reproducer in "${reproducers[@]}"; do
    [ -e "$reproducer" ] || continue
    echo "fuzz_$target failed (exit $status); reproducer: $root/$reproducer"
    echo "  rerun: $root/$bin/fuzz_$target $root/$reproducer"
  done
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing passed: ${targets[*]} (${seconds}s each)"

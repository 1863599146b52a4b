#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a number of seconds on its seed
# corpus. Exits non-zero when a run finds a crash, a hang, a leak or a sanitizer report; the
# input that caused it is kept in build-fuzz/findings/.
# Usage: tools/fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
tools/deps.sh clang libclang-rt-14-dev

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DORVANTIS_FUZZ=ON -DORVANTIS_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_ini fuzz_jet fuzz_mdb fuzz_sqlite fuzz_stream fuzz_paths fuzz_disc \
  fuzz_cue fuzz_ccd fuzz_mds fuzz_nrg

failed=()
for target in ini jet mdb sqlite stream paths disc cue ccd mds nrg; do
  work="$build/fuzz-work/$target"      # inputs found in this run; the committed seeds stay as they are
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings"
  corpora=("$work" "fuzz/corpus/$target")
  extra=()
  case $target in
    jet) extra=(-dict=fuzz/jet.dict) ;;
    paths) extra=(-dict=fuzz/paths.dict -max_len=1024) ;;
    # The test catalogues seed the reader; pages past the first 200 kB add little.
    mdb) corpora+=(tests/data); extra=(-max_len=200000) ;;
    # Small SQLite catalogues: plain, snapshots, odd shapes and the hostile test files.
    sqlite) corpora+=(tests/data/hostile); extra=(-max_len=65536) ;;
    stream) extra=(-max_len=65536) ;;
    # Small images (fuzz/make-disc-corpus.sh): their folders lie in the first 120 kB.
    disc) extra=(-max_len=131072) ;;
    # Sheets are small; the Nero seeds hold 20 sectors and their chunk lists.
    cue|ccd) extra=(-dict=fuzz/sheets.dict -max_len=16384) ;;
    mds) extra=(-max_len=16384) ;;
    nrg) extra=(-max_len=65536) ;;
  esac
  log="$build/fuzz-$target.log"
  echo "fuzz_$target: ${seconds}s"
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="$findings/" "${extra[@]}" "${corpora[@]}" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" | sed 's/^/  /' || true
  else
    echo "fuzz_$target FOUND A FAULT; input kept in $findings/"
    # The reader's library reports every damaged page it meets; show the end of the report only.
    grep -v -E '^(warning:|offset [0-9]+ is beyond EOF|Unrecognized format|error: reading page)' "$log" | tail -n 60 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
echo "fuzzing found no fault"

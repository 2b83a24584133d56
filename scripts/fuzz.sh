#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer in build-fuzz/ and runs the
# configuration reader's target for a bounded time (seconds, default 60),
# seeded with the examples of docs/cards.md. What the fuzzer finds
# is kept in build-fuzz/fuzz-corpus for the next run; a crash fails the run
# and leaves its input as build-fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bootstrap.sh

seconds=${1:-60}
duoscope_install_packages clang libclang-rt-14-dev
dir=build-fuzz
duoscope_build "$dir" -DCMAKE_CXX_COMPILER=clang++ -DDUOSCOPE_FUZZ=ON -DDUOSCOPE_TESTS=OFF

seeds=$dir/fuzz-seeds
corpus=$dir/fuzz-corpus
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
# Every yaml or json block of the page is one seed.
awk -v dir="$seeds" '
  /^```(yaml|json)$/ { n++; file = sprintf("%s/documented-%02d", dir, n); inside = 1; next }
  /^```$/ { inside = 0; next }
  inside { print > file }
' docs/cards.md
[ -n "$(ls -A "$seeds")" ] || { echo "no examples found in docs/cards.md" >&2; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
cd "$dir"
# A fixed seed: a run that fails can be replayed as it ran.
exec ./fuzz/fuzz_configuration -seed="${DUOSCOPE_FUZZ_SEED:-1}" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -dict=../fuzz/configuration.dict -print_final_stats=1 -artifact_prefix=./ fuzz-corpus fuzz-seeds

#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# their own build folder and runs each for SECONDS on the seed corpus. Any finding fails the run;
# the input that caused it is kept in BUILD_DIR/findings, and what went wrong is summed up in
# BUILD_DIR/findings/summary.txt.
#   fuzz/run_fuzzers.sh [SECONDS] [BUILD_DIR]
# With SECONDS given as "repeatable", each target instead runs a fixed number of inputs (about a
# minute each) from a fixed random seed, on the seeds alone: a run of known length, which tries
# nearly the same inputs every time (the temporary paths and memory addresses that the targets
# compare still steer it a little). This is what the tests run.
# Exits 77 when clang or libFuzzer is missing, which CTest reports as skipped.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
clangxx=${QUILLMERE_FUZZ_CXX:-clang++}

if ! command -v "$clangxx" >/dev/null; then
  echo "$clangxx not found: the fuzz targets are not run"
  exit 77
fi
# libFuzzer comes with compiler-rt (Debian: libclang-rt-14-dev).
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    "$clangxx" -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
  echo "$clangxx cannot link libFuzzer: the fuzz targets are not run"
  exit 77
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$clangxx" -DQUILLMERE_BUILD_TESTS=OFF -DQUILLMERE_FUZZ=ON >/dev/null
cmake --build "$build" --target xml_fuzzer mpx_fuzzer set_file_fuzzer

# The seeds: our own small files, the public samples and the bundled samples, read where they
# are. New inputs go to the first folder, in the build folder.
seeds_xml=("$root/fuzz/seeds/xml" "$root/tests/data/external/mspdi" "$root/resources/Samples")
seeds_mpx=("$root/fuzz/seeds/mpx" "$root/tests/data/external/mpx" "$root/resources/Samples")
seeds_set_file=("$root/fuzz/seeds/set_file")

# Inputs per target in a repeatable run, about a minute each on a current core.
declare -A repeatable_runs=([xml]=200000 [mpx]=50000 [set_file]=500000)
if [ "$seconds" = repeatable ]; then
  # Qt's hashes are seeded at random; their order can steer which inputs reach new code.
  export QT_HASH_SEED=0
fi

run() {
  local format=$1
  local -n seeds=seeds_$format
  local corpus="$build/corpus/$format"
  local dict="$root/fuzz/$format.dict"
  [ -f "$dict" ] || dict=
  local length=(-max_total_time="$seconds")
  if [ "$seconds" = repeatable ]; then
    # A fresh corpus each time, apart from the one kept for longer runs: what an earlier run
    # added would change the inputs tried.
    corpus="$build/corpus-repeatable/$format"
    rm -rf "$corpus"
    length=(-runs="${repeatable_runs[$format]}" -seed=1)
  fi
  mkdir -p "$corpus" "$build/findings"
  echo "== ${format}_fuzzer ${length[*]}"
  local log="$build/findings/${format}.log"
  if ! "$build/fuzz/${format}_fuzzer" "${length[@]}" -max_len=16384 -timeout=60 \
      -rss_limit_mb=2048 -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 \
      ${dict:+-dict="$dict"} -artifact_prefix="$build/findings/${format}-" \
      "$corpus" "${seeds[@]}" 2>&1 | tee "$log"; then
    summarise "$format" "$log"
    return 1
  fi
}

# What a finding was, in a few lines: the target, the first report line and the input's name.
summarise() {
  {
    echo "${1}_fuzzer found a fault:"
    grep -m1 -E "ERROR|Broken promise|in memory:" "$2" || true
    grep -m1 "Test unit written to" "$2" || true
  } >>"$build/findings/summary.txt"
}

rm -f "$build/findings/summary.txt"
status=0
run xml || status=1
run mpx || status=1
run set_file || status=1
[ "$status" -eq 0 ] || cat "$build/findings/summary.txt"
exit "$status"

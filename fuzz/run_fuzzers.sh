#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# their own build folder and runs each for SECONDS on the seed corpus. Any finding fails the run;
# the input that caused it is kept in BUILD_DIR/findings.
#   fuzz/run_fuzzers.sh [SECONDS] [BUILD_DIR]
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

run() {
  local format=$1
  local -n seeds=seeds_$format
  local corpus="$build/corpus/$format"
  local dict="$root/fuzz/$format.dict"
  [ -f "$dict" ] || dict=
  mkdir -p "$corpus" "$build/findings"
  echo "== ${format}_fuzzer for $seconds s"
  "$build/fuzz/${format}_fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
    -rss_limit_mb=2048 -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 \
    ${dict:+-dict="$dict"} -artifact_prefix="$build/findings/${format}-" \
    "$corpus" "${seeds[@]}"
}

status=0
run xml || status=1
run mpx || status=1
run set_file || status=1
[ "$status" -eq 0 ] || echo "A fuzz target found a fault; see $build/findings"
exit "$status"

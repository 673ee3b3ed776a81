#!/usr/bin/env bash
# Cross-builds the automation host and its tests with mingw-w64 and runs them under wine
# against the fake automation server, in a throwaway wine prefix.
#   run_wine_tests.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run_wine_tests.sh BUILD_DIR}

# Every wine process of the prefix gets a display of its own (the message box that tells a user
# their Project waits for them needs one): wine's desktop keeps the display it first started with.
if [ -z "${QUILLMERE_WINE_DISPLAY:-}" ]; then
  QUILLMERE_WINE_DISPLAY=1 exec xvfb-run -a "$0" "$@"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" > "$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --parallel 2

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" \
       LC_ALL=C.UTF-8
# Only this prefix's processes are ended.
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

# Every wine process writes to files: a pipe held open by wine's background services would keep
# the caller waiting.
timeout 300 wine wineboot --init > "$work/wineboot.log" 2>&1
timeout 120 wineserver -w

to_windows() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/files"
server=$(to_windows "$build/fake_project_server.exe")
export FAKE_PROJECT_LOG=$(to_windows "$work/files/calls.log")
export FAKE_PROJECT_SERVER=$server
timeout 60 wine "$build/fake_project_server.exe" /regserver /log "$FAKE_PROJECT_LOG" \
  > "$work/register.log" 2>&1

# One process per test, each under its own time limit: a test that hangs is named, and the others
# still run. A persistent wineserver starts each process in a fraction of a second instead of
# about three. The registration's server is let go first: -p cannot start while it runs.
timeout 60 wineserver -w
wineserver -p
list=$(timeout 60 wine "$build/com_host_test.exe" --gtest_list_tests | tr -d "\r")
tests=$(awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }' <<< "$list")
# QUILLMERE_WINE_TESTS=REGEX runs only the tests whose names match.
tests=$(grep -E -- "${QUILLMERE_WINE_TESTS:-.}" <<< "$tests" || true)
[ -n "$tests" ] || { echo "no tests listed:"; echo "$list"; exit 1; }

: > "$build/tests.log"
: > "$build/calls.log"
passed=0
failed=()
run_test() {
  rc=0
  timeout "${QUILLMERE_TEST_TIMEOUT:-120}" wine "$build/com_host_test.exe" --gtest_filter="$1" \
    > "$work/test.log" 2>&1 || rc=$?
}
for test in $tests; do
  run_test "$test"
  # A process that printed nothing never reached the tests: wine now and then fails to start one
  # on a loaded machine. It is started once more.
  if [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] && [ ! -s "$work/test.log" ]; then
    echo "$test: the test program did not start (exit $rc); started again" |
      tee -a "$build/tests.log"
    run_test "$test"
  fi
  tr -d "\r" < "$work/test.log" | tee -a "$build/tests.log"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  elif [ "$rc" -eq 124 ]; then
    echo "TIMED OUT after ${QUILLMERE_TEST_TIMEOUT:-120} s: $test" | tee -a "$build/tests.log"
    failed+=("$test (timed out)")
    # The hung test never logged its calls: what its servers logged so far is kept. Its processes
    # (servers it started) are ended with everything else in the prefix.
    { echo "== $test (timed out)"; cat "$work/files/calls.log" 2>/dev/null; } \
      >> "$work/files/calls.log.all"
    wineserver -k > /dev/null 2>&1 || true
    timeout 60 wineserver -w || true
    wineserver -p
  else
    failed+=("$test (exit $rc)")
  fi
done
# The fake server's log of calls, test by test, for reading after the run.
cp "$work/files/calls.log.all" "$build/calls.log" 2>/dev/null || true
echo "The calls of each test: $build/calls.log"
for test in "${failed[@]}"; do echo "FAILED: $test"; done
echo "com_host_test: $passed passed, ${#failed[@]} failed"
[ "${#failed[@]}" -eq 0 ]

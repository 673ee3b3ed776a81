#!/usr/bin/env bash
# Sets Quillmere up on Debian 12 and builds it.
#   ./build.sh run    installs what is missing, builds, and starts the program
#   ./build.sh test   installs what is missing, builds, and runs every test
#   ./build.sh package   installs what is missing and makes the Debian package,
#                        build/quillmere_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libexpat1-dev
)
# The Debian package: CPack reads the binaries' dependencies with dpkg-shlibdeps.
PACKAGE_PACKAGES=(dpkg-dev file)
# The tests also cross-build the Windows automation host and run it under wine, build the fuzz
# targets with clang and libFuzzer, and check the format with clang-format.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev googletest libxml2-utils clang-format
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth
  clang libclang-rt-14-dev
  # The package's checks, and the install's: the validators, gio to start a desktop entry,
  # man and bash-completion to read what the package holds, strace to watch the program.
  lintian appstream desktop-file-utils libglib2.0-bin man-db bash-completion strace
)

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_if_needed apt-get update
    sudo_if_needed env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_BUILD_TESTS="$1" \
    -DQUILLMERE_WERROR="${2:-OFF}"
  cmake --build build --parallel
}

# Every C++ source must match .clang-format.
check_format() {
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
  echo "Format check passed"
}

# Everything, tests included, also builds with clang without a warning.
clang_build() {
  CXX=clang++ cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQUILLMERE_BUILD_TESTS=ON -DQUILLMERE_WERROR=ON
  cmake --build build-clang --parallel
}

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the test that caused it. The wine stage and the fuzz targets (which carry their
# own sanitizers) run in the normal build only.
sanitizer_tests() {
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_BUILD_TESTS=ON \
    -DQUILLMERE_SANITIZE=ON -DQUILLMERE_WERROR=ON
  cmake --build build-sanitize --parallel
  ASAN_OPTIONS=detect_leaks=1 \
    ctest --test-dir build-sanitize --output-on-failure --timeout 300 \
      -E "AutomationHostUnderWine|FuzzTargets"
}

# The tests whose code runs on several threads (the built-in host's read-ahead, the batch run and
# the quillmere-host it starts, the Start command) once more, built with ThreadSanitizer. A
# report from a test or from a program it starts halts it and fails the stage; the reports are
# kept in build-tsan/reports/ and printed at the end.
TSAN_TESTS=(
  tests/host/builtin/builtin_host_test tests/batch/batch_test
  tests/run/builtin_run_test tests/run/output_path_test tests/run/start_command_test
)
thread_sanitizer_tests() {
  local started=$SECONDS failed=0 test
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_BUILD_TESTS=ON \
    -DQUILLMERE_TSAN=ON -DQUILLMERE_WERROR=ON
  cmake --build build-tsan --parallel --target quillmere-host "${TSAN_TESTS[@]##*/}"
  rm -rf build-tsan/reports && mkdir build-tsan/reports
  for test in "${TSAN_TESTS[@]}"; do
    # Under the stack limit that the batch's test of a system without threads sets, the kernel
    # lays memory out where ThreadSanitizer's runtime refuses to start ("unexpected memory
    # mapping", about one start in two): that test runs in the other stages only.
    QT_QPA_PLATFORM=offscreen GTEST_FILTER=-Batch.NoThreadsMeansOneAtATime \
      TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 exitcode=66 log_path=$PWD/build-tsan/reports/tsan" \
      "build-tsan/$test" --gtest_brief=1 || failed=1
  done
  if compgen -G "build-tsan/reports/tsan.*" >/dev/null; then
    cat build-tsan/reports/tsan.*
    failed=1
  fi
  echo "ThreadSanitizer stage: $((SECONDS - started)) s"
  return "$failed"
}

# The package, made from the test build, and checked as a user would get it.
package_checks() {
  local started=$SECONDS
  rm -f build/quillmere_*.deb
  cmake --build build --target package
  tests/package/check_package.sh build
  echo "Package stage: $((SECONDS - started)) s"
}

case "${1:-}" in
  run)
    install_missing "${PACKAGES[@]}"
    build OFF
    exec ./build/src/app/quillmere
    ;;
  package)
    install_missing "${PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    build OFF
    cmake --build build --target package
    ;;
  test)
    install_missing "${PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    check_format
    build ON ON
    # A fuzz finding is summed up again last, where a log's tail shows it.
    ctest --test-dir build --output-on-failure --timeout 300 ||
      { cat build/fuzz-build/findings/summary.txt 2>/dev/null; exit 1; }
    package_checks
    clang_build
    sanitizer_tests
    thread_sanitizer_tests
    ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac

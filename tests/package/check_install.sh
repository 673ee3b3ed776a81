#!/usr/bin/env bash
# The install on Linux as a user makes it: the desktop entry for awkward install prefixes, and
# "cmake --install" followed by "cmake -P BUILD/uninstall.cmake".
#   tests/package/check_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(cd "${1:?usage: check_install.sh SOURCE_DIR BUILD_DIR}" && pwd)
build=$(cd "${2:?usage: check_install.sh SOURCE_DIR BUILD_DIR}" && pwd)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
tmp=$(mktemp -d)
record="$build/installed_files.txt"
# The test's installs must not take the place of the record of a real one.
[ ! -e "$record" ] || cp "$record" "$tmp/record"
cleanup() {
  if [ -e "$tmp/record" ]; then cp "$tmp/record" "$record"; else rm -f "$record"; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# Each prefix gets an entry whose Exec starts a stand-in program there. GLib (gio launch) looks
# for Exec's program before it undoes "%%", so it cannot start one from a path holding "%":
# those entries are only validated.
prefixes=(
  "Quill mere"
  "\$HOME and \${PATH}"
  "100% done %f %%"
  "it's \"quoted\""
  "back\\slash \`tick\`"
  "Ærø квилл 项目"
  "all \$ of % them \"' \\ \` Ærø"
)
for name in "${prefixes[@]}"; do
  prefix="$tmp/prefixes/$name"
  mkdir -p "$prefix/bin"
  printf '#!/bin/sh\nprintf started > "$1"\n' >"$prefix/bin/quillmere.sh"
  printf '#!/bin/sh\nexec "$(dirname "$0")/quillmere.sh" "%s"\n' "$tmp/started" >"$prefix/bin/quillmere"
  chmod +x "$prefix/bin/quillmere" "$prefix/bin/quillmere.sh"
  entry="$tmp/quillmere.desktop"
  cmake -DPROGRAM="$prefix/bin/quillmere" -DENTRY="$entry" -P "$source_dir/cmake/desktop_entry.cmake"
  desktop-file-validate "$entry" || fail "desktop-file-validate, prefix $name"
  grep -q '^TryExec=' "$entry" || fail "no TryExec, prefix $name"
  [[ $name == *%* ]] && continue
  rm -f "$tmp/started"
  gio launch "$entry" || fail "gio launch, prefix $name"
  for _ in $(seq 50); do [ -e "$tmp/started" ] && break; sleep 0.1; done
  [ -e "$tmp/started" ] || fail "the entry started nothing, prefix $name"
  rm "$prefix/bin/quillmere"
  ! gio launch "$entry" 2>/dev/null || fail "TryExec: an entry for a missing program was taken, prefix $name"
done

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
stage="$tmp/stage dir/Ærø"
other="$tmp/other stage"
install() { DESTDIR="$1" cmake --install "$build" >/dev/null; }

# The entry is made at configure time, so another prefix is refused before anything is copied.
if cmake --install "$build" --prefix "$tmp/elsewhere" >"$tmp/refused" 2>&1; then
  fail "an install into a prefix the build was not configured for"
fi
grep -q "CMAKE_INSTALL_PREFIX=$tmp/elsewhere" "$tmp/refused" || fail "refusal: $(cat "$tmp/refused")"
[ ! -e "$tmp/elsewhere" ] || fail "the refused install left $(find "$tmp/elsewhere")"

# Installed twice in one place (the second install finds its folders there) and once in another;
# a file and an empty folder of the user's put into folders the install made: one removal takes
# both installs, and only what the installs made.
install "$stage"
install "$stage"
install "$other"
root="$stage$prefix"
[ "$(readlink "$root/bin/quillmere")" = ../lib/quillmere/quillmere ] || fail "the link on the PATH"
grep -qx "Exec=\"$prefix/bin/quillmere\"" "$root/share/applications/quillmere.desktop" ||
  fail "the installed entry: $(grep ^Exec "$root/share/applications/quillmere.desktop")"
grep -qxF "$root/lib/quillmere/Samples/Office Relocation.xml" "$record" ||
  fail "the record lacks the samples"
touch "$root/share/applications/mine.desktop"
mkdir "$root/share/icons/mine"
cmake -P "$build/uninstall.cmake" >/dev/null
left=$(cd "$tmp" && find "stage dir" | LC_ALL=C sort)
expected=$( (
  for path in "stage dir/Ærø$prefix/share/applications/mine.desktop" \
    "stage dir/Ærø$prefix/share/icons/mine"; do
    while [ "$path" != . ]; do
      echo "$path"
      path=$(dirname "$path")
    done
  done
) | LC_ALL=C sort -u)
diff <(echo "$expected") <(echo "$left") || fail "left after the removal (< expected, > left)"
[ ! -e "$other" ] || fail "the second place's install outlived the removal: $(find "$other")"
[ ! -e "$record" ] || fail "the record outlived the removal"

echo "Install checks: $failures failed"
[ "$failures" -eq 0 ]

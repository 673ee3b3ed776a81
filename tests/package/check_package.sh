#!/usr/bin/env bash
# Checks the Debian package that "cmake --build BUILD --target package" made: lintian, its file
# list and control fields, the desktop entry, the metainfo, the manual page and the completion
# against the program's own options, and the program unpacked from it, which must run and find
# its resources and samples in the unpacked tree.
#   tests/package/check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
started=$SECONDS
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

shopt -s nullglob
debs=("$build"/quillmere_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: not one package in $build: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(basename "$deb")" = "quillmere_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "package name $(basename "$deb") for version $version"

tmp=$(mktemp -d)
program_pid=
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

if ! lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1; then
  cat "$tmp/lintian"
  fail "lintian"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "Quillmere maintainers <support@quillmere.org>" ] ||
  fail "Maintainer: $(field Maintainer)"
# qt6-qpa-plugins is named by hand; the libraries come from dpkg-shlibdeps.
for dependency in qt6-qpa-plugins libqt6widgets6 libexpat1 libc6; do
  [[ ", $(field Depends)," == *", $dependency "* || ", $(field Depends)," == *", $dependency,"* ]] ||
    fail "Depends lacks $dependency: $(field Depends)"
done

# With a postrm or a conffile, dpkg would keep the package's record after "apt remove".
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
[ "$control" = "./control ./md5sums ./prerm " ] || fail "control files: $control"

# Every file and link of the package, and nothing else.
expected="./usr/bin/quillmere -> ../lib/quillmere/quillmere
./usr/bin/quillmere-host
./usr/lib/quillmere/HAND-M.CUR
./usr/lib/quillmere/Samples/Office Relocation.xml
./usr/lib/quillmere/Samples/Warehouse Fit-Out.xml
./usr/lib/quillmere/Samples/Website Launch.mpx
./usr/lib/quillmere/drag.ico
./usr/lib/quillmere/quillmere
./usr/lib/quillmere/x/down-arrow.png
./usr/lib/quillmere/x/o.cjs
./usr/share/applications/quillmere.desktop
./usr/share/bash-completion/completions/quillmere-host
./usr/share/doc/quillmere/changelog.gz
./usr/share/doc/quillmere/copyright
./usr/share/icons/hicolor/256x256/apps/quillmere.png
./usr/share/man/man1/quillmere-host.1.gz
./usr/share/man/man1/quillmere.1.gz
./usr/share/metainfo/org.quillmere.Quillmere.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | grep -v '^d' | sed -E 's/^([^ ]+ +){5}//' | LC_ALL=C sort)
diff <(echo "$expected") <(echo "$actual") || fail "file list (< expected, > in the package)"

root="$tmp/un packed"
dpkg-deb -x "$deb" "$root"

entry="$root/usr/share/applications/quillmere.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate"
grep -qx 'Exec="/usr/bin/quillmere"' "$entry" || fail "Exec: $(grep ^Exec= "$entry")"
grep -qx 'TryExec=/usr/bin/quillmere' "$entry" || fail "no TryExec for /usr/bin/quillmere"
metainfo="$root/usr/share/metainfo/org.quillmere.Quillmere.metainfo.xml"
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo names no release $version"

host="$root/usr/bin/quillmere-host"
[ "$("$host" --version)" = "quillmere-host (Quillmere) $version" ] || fail "quillmere-host --version"
# The window program answers without a display.
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/quillmere" --version)" = \
  "quillmere (Quillmere) $version" ] || fail "quillmere --version without a display"
mkdir "$tmp/out"
"$host" batch "$root/usr/lib/quillmere/Samples" --out "$tmp/out" --find "Harbour Street" \
  --replace "Quay Road" >"$tmp/summary" || fail "a batch run over the unpacked samples"
grep -qx '3 files: 1 changed, 2 unchanged, 0 failed' "$tmp/summary" ||
  fail "batch summary: $(tail -1 "$tmp/summary")"

# The manual page and the completion know every option of the batch form.
options=$("$host" batch --help | grep -o -- '--[a-z-]*' | sort -u)
# The options that the batch form's section of the page describes: the tags of its entries.
manual=$(zcat "$root/usr/share/man/man1/quillmere-host.1.gz" |
  sed -n '/^\.SS The batch form/,/^\.S[SH]/p' | grep -A1 '^\.TP' | sed 's/\\-/-/g' |
  grep -o -- '--[a-z-]*' | sort -u)
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source "$1"
  COMP_LINE="quillmere-host batch --"; COMP_POINT=${#COMP_LINE}
  COMP_WORDS=(quillmere-host batch --); COMP_CWORD=2
  _quillmere_host; printf "%s\n" "${COMPREPLY[@]}"' _ \
  "$root/usr/share/bash-completion/completions/quillmere-host")
for option in $options; do
  grep -qx -- "$option" <<<"$manual" || fail "the manual page's batch form lacks $option"
  grep -qx -- "$option" <<<"$completed" || fail "completing 'batch --' lacks $option"
done

# Started offscreen with a home of its own, the unpacked program reads its skin and pointer and
# lists its samples in the unpacked tree, found through the link it was started by.
program_dir="$root/usr/lib/quillmere"
mkdir "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_RUNTIME_DIR="$tmp/home" \
  QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=openat -o "$tmp/trace" \
  "$root/usr/bin/quillmere" 2>/dev/null &
tracer=$!
opened() { grep -F "openat(AT_FDCWD, \"$program_dir/$1\"" "$tmp/trace" 2>/dev/null | grep -q ' = [0-9]'; }
for _ in $(seq 100); do
  opened "x/o.cjs" && opened "HAND-M.CUR" && opened "Samples/" && break
  sleep 0.1
done
# strace leaves the program running when it ends, so the program itself is stopped.
program_pid=$(awk 'NR == 1 { print $1 }' "$tmp/trace")
for file in x/o.cjs HAND-M.CUR Samples/; do
  opened "$file" || fail "the unpacked program did not open $program_dir/$file"
done
kill "$program_pid" && program_pid=
wait "$tracer" 2>/dev/null || true

echo "Package checks: $((SECONDS - started)) s, $failures failed"
[ "$failures" -eq 0 ]

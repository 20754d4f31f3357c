#!/usr/bin/env bash
# Runs an installed velapp away from the build tree and checks that it shows a
# board, so it found its library, plugin, skin (and translations) by itself.
#   installed-velapp.sh --install BUILD_DIR   installs BUILD_DIR into a temporary prefix first
#   installed-velapp.sh PREFIX                an installed tree, e.g. an unpacked package's usr/
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "installed-velapp: $*" >&2; exit 1; }
if [ "${1:-}" = "--install" ]; then
  prefix="$work/prefix"
  cmake --install "$2" --prefix "$prefix" >/dev/null
else
  prefix=$(cd "$1" && pwd)
fi
app="$prefix/lib/velapp"
data="$prefix/share/velapp"

[ "$(readlink "$prefix/bin/velapp")" = ../lib/velapp/velapp ] || fail "bin/velapp is not a link to ../lib/velapp/velapp"
[ -z "$(find "$app" "$prefix/bin" -name 'tst_*' -o -name host_core -o -name '*.a')" ] || fail "test programs or static libraries installed"
# Code under lib/, data of any architecture under share/, and what a desktop
# and Debian expect: menu entry, icon, manual page, copyright, changelog.
[ -d "$data/skin" ] && [ ! -e "$app/skin" ] && [ ! -e "$app/translations" ] ||
  fail "skin and translations are not in share/velapp alone"
for f in share/applications/velapp.desktop share/icons/hicolor/scalable/apps/velapp.svg \
         share/doc/velapp/copyright share/doc/velapp/changelog.Debian.gz share/doc/velapp/formats.md \
         share/man/man1/velapp.1.gz; do
  [ -f "$prefix/$f" ] || fail "$f: missing"
done
gzip -t "$prefix/share/man/man1/velapp.1.gz" "$prefix/share/doc/velapp/changelog.Debian.gz" ||
  fail "a .gz that gzip cannot read"
for f in "$app/velapp" "$app"/private/*.so "$app"/plugins/*.so; do
  [ -f "$f" ] || fail "$f: missing"
  if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -v '\[\$ORIGIN[^]:]*\]$'; then
    fail "$f: a library path outside \$ORIGIN"
  fi
done

# No library path, a private user folder, a fixed locale, and the plugin
# folder only as velapp finds it.
run() {
  (cd "$work" && env -u LD_LIBRARY_PATH -u VELAPP_PLUGIN_DIR -u LANGUAGE LANG=C.UTF-8 LC_ALL=C.UTF-8 \
    XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    "$prefix/bin/velapp" --print -platform offscreen --quit-after 3000 "$@" >"$work/out" 2>"$work/err") ||
    { rc=$?; cat "$work/err" >&2; fail "velapp $* exited with $rc"; }
  ! grep -E 'velapp\.(skin|plugins)|no page plugin' "$work/err" || fail "velapp $*: plugin or skin not found"
  grep -Eq '\| [0-9]+\.[0-9]{3} +\|' "$work/out" || fail "velapp $*: no board with strikes printed"
}
# Help and version answer without a display, and without Qt's GUI.
nodisplay() {
  (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH QT_QPA_PLATFORM= \
    "$prefix/bin/velapp" "$@" >"$work/out" 2>"$work/err")
}
nodisplay --version || fail "velapp --version without a display exited with $?"
[ "$(cat "$work/out")" = "velapp $(zcat "$prefix/share/doc/velapp/changelog.Debian.gz" |
  sed -n '1s/^velapp (\([^-)]*\).*/\1/p')" ] || fail "velapp --version: '$(cat "$work/out")'"
nodisplay --help || fail "velapp --help without a display exited with $?"
grep -q -- '--securities <file>' "$work/out" || fail "velapp --help: no option list"

run
if compgen -G "$data/translations/*.qm" >/dev/null; then
  run --lang en
  ! grep -q '认购期权' "$work/out" || fail "velapp --lang en: the board is not in English"
fi
echo "installed-velapp: $prefix/bin/velapp showed a board"

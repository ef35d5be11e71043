#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks it as a
# user's system would see it: its contents, its Depends, the desktop entry
# and AppStream metadata, the manual pages against the programs' own --help,
# the shell completion against the same, lintian, and the programs run from
# a scratch root with the build folder out of the way.
#   tools/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/tarvine_*.deb)
echo "package: $(basename "$deb")"

# Contents.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$work/contents"
for f in /usr/bin/tarvine /usr/bin/tarvine-cli \
         /usr/share/man/man1/tarvine.1.gz /usr/share/man/man1/tarvine-cli.1.gz \
         /usr/share/bash-completion/completions/tarvine-cli \
         /usr/share/applications/tarvine.desktop \
         /usr/share/metainfo/io.github.tarvine.Tarvine.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/tarvine.svg \
         /usr/share/icons/hicolor/48x48/apps/tarvine.png \
         /usr/share/doc/tarvine/copyright /usr/share/doc/tarvine/changelog.gz; do
  grep -qx "$f" "$work/contents" || fail "$f is not in the package"
done
if grep -E '^/usr/(bin/(nwimage|test_)|lib/.*\.a$)' "$work/contents"; then fail "build-only files in the package"; fi

# Depends come from the programs' libraries.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libewf libqt6widgets6; do
  grep -q "$lib" <<< "$depends" || fail "Depends does not name $lib"
done
version=$(dpkg-deb -f "$deb" Version)

# The installed tree, in a scratch root.
root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/tarvine.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.tarvine.Tarvine.metainfo.xml"

cli="$root/usr/bin/tarvine-cli"
"$cli" --version | grep -q "$version" || fail "tarvine-cli --version does not say $version"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/tarvine" --version | grep -q "$version" ||
  fail "tarvine --version does not say $version"

# Every command and option of --help is in the manual page and the completion.
"$cli" --help > "$work/help"
MANWIDTH=200 man -l "$root/usr/share/man/man1/tarvine-cli.1.gz" 2>/dev/null | col -b > "$work/man"
completion="$root/usr/share/bash-completion/completions/tarvine-cli"
commands=$(awk '/^Commands:/{on=1; next} on && /^  [a-z]/{print $1} on && /^[^ ]/ && !/^Commands:/{on=0}' "$work/help")
[ -n "$commands" ] || fail "no commands found in --help"
for c in $commands; do
  grep -qw -- "$c" "$work/man" || fail "the manual page does not list the command $c"
  grep -q "commands=.*\b$c\b" "$completion" || fail "the completion does not offer the command $c"
done
for o in $(grep -o -- '--[a-z][a-z0-9-]*' "$work/help" | sort -u); do
  grep -q -- "$o" "$work/man" || fail "the manual page does not name $o"
  grep -q -- "$o" "$completion" || fail "the completion does not offer $o"
done
for section in "EXIT STATUS" "ESCAPING"; do grep -q "$section" "$work/man" || fail "no $section section"; done
grep -q '130' "$work/man" || fail "the manual page does not give exit status 130"
# The completion offers no command that --help does not list.
for c in $(sed -n 's/.*local commands="\([^"]*\)".*/\1/p' "$completion"); do
  grep -qx "$c" <<< "$commands" || fail "the completion offers $c, which --help does not list"
done
bash -c "source /usr/share/bash-completion/bash_completion 2>/dev/null; source '$completion'; complete -p tarvine-cli" \
  > /dev/null || fail "the completion does not load"

# The programs run from the scratch root and need nothing of the build
# folder: no run path into it, and a sample disk copied elsewhere reads.
for program in "$root/usr/bin/tarvine" "$cli"; do
  if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -q "$build"; then fail "$program looks into the build folder"; fi
done
sample="$work/sample.img"
cp "$build/sample/sample.img" "$sample"
(cd "$work" && env -i PATH=/usr/bin:/bin HOME="$work" "$cli" --image "$sample" volumes > "$work/volumes") ||
  fail "volumes failed on the sample disk"
[ -s "$work/volumes" ] || fail "volumes listed nothing"

# lintian: no errors.
if command -v lintian > /dev/null; then
  lintian --no-tag-display-limit "$deb" > "$work/lintian" 2>&1 || true
  cat "$work/lintian"
  if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi
fi
echo "check-package: all checks passed"

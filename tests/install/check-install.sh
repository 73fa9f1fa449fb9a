#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there:
#   check-install.sh <build-dir> <work-dir>
set -euo pipefail
build=$1
prefix=$2/prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
desktop=$prefix/share/applications/org.kelvora.maker.desktop
metainfo=$prefix/share/metainfo/org.kelvora.maker.metainfo.xml
[ -x "$prefix/bin/kelvora-maker" ] || fail "no executable bin/kelvora-maker"
[ -x "$prefix/libexec/kelvora-maker/kelvora-maker" ] || fail "no program libexec/kelvora-maker/kelvora-maker"
[ -x "$prefix/libexec/kelvora-maker/batch/kelvora-maker" ] || fail "no program libexec/kelvora-maker/batch/kelvora-maker"
# The front starts the program it was installed with, from wherever the prefix lies.
refused=$("$prefix/bin/kelvora-maker" --fps 0 -o x.avi 2>&1 || true)
grep -q -- '--fps vuole' <<<"$refused" || fail "the front does not start the program: $refused"
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
[ -f "$prefix/share/icons/hicolor/scalable/apps/kelvora-maker.svg" ] || fail "no scalable icon"
gzip -dc "$prefix/share/man/man1/kelvora-maker.1.gz" | grep '^\.TH KELVORA-MAKER 1' >/dev/null || fail "no manual page"
bash -c "source '$prefix/share/bash-completion/completions/kelvora-maker' && complete -p kelvora-maker" >/dev/null ||
  fail "no bash completion"
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/kelvora-maker.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size x $size PNG"
done

# The validators check the form; the keys a desktop relies on are checked by value.
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qx 'Exec=kelvora-maker %F' "$desktop" || fail "Exec"
grep -qx 'Categories=AudioVideo;Video;' "$desktop" || fail "Categories"
grep -qx 'MimeType=image/bmp;' "$desktop" || fail "MimeType"
grep -qx 'Icon=kelvora-maker' "$desktop" || fail "Icon"
grep -q '<launchable type="desktop-id">org.kelvora.maker.desktop</launchable>' "$metainfo" || fail "launchable"
! grep -q '@PROJECT_VERSION@' "$metainfo" || fail "release version not filled in"
echo "installed and valid: $(cd "$prefix" && find . -type f | wc -l) files"

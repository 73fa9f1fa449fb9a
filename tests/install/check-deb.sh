#!/usr/bin/env bash
# Makes the Debian package with cpack and checks its files and computed dependencies:
#   check-deb.sh <build-dir> <work-dir>
set -euo pipefail
build=$1
work=$2/deb
rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/kelvora-maker_*.deb)

fail() { echo "FAIL: $*" >&2; exit 1; }
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for expected in \
  ./usr/bin/kelvora-maker \
  ./usr/libexec/kelvora-maker/kelvora-maker \
  ./usr/libexec/kelvora-maker/batch/kelvora-maker \
  ./usr/share/applications/org.kelvora.maker.desktop \
  ./usr/share/metainfo/org.kelvora.maker.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/kelvora-maker.svg \
  ./usr/share/icons/hicolor/48x48/apps/kelvora-maker.png \
  ./usr/share/icons/hicolor/256x256/apps/kelvora-maker.png \
  ./usr/share/man/man1/kelvora-maker.1.gz \
  ./usr/share/bash-completion/completions/kelvora-maker \
  ./usr/share/doc/kelvora-maker/copyright; do
  grep -qx -- "$expected" <<<"$files" || fail "$expected is not in the package"
done
# Nothing but the application: no tests, benchmarks or build tools.
unexpected=$(grep -v -e '/$' -e '^./usr/bin/kelvora-maker$' -e '^./usr/libexec/kelvora-maker/kelvora-maker$' \
  -e '^./usr/libexec/kelvora-maker/batch/kelvora-maker$' \
  -e '^./usr/share/' <<<"$files" || true)
[ -z "$unexpected" ] || fail "unexpected files: $unexpected"

depends=$(dpkg-deb -f "$deb" Depends)
# The codec libraries, loaded when first called, are in no executable's list but still needed.
for library in libqt6widgets6 libqt6svg6 libc6 libavcodec59 libavformat59 libswscale6 libturbojpeg0 liblcms2-2; do
  grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"

#!/usr/bin/env bash
# The Debian package made from this build holds the program, its desktop entry and its icon, and
# declares the packages it needs. Usage: contents.sh BUILD_DIR
set -euo pipefail
build="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
deb="$(ls "$out"/ostraftp_*.deb)"
list="$(dpkg-deb -c "$deb")"
status=0
for f in ./usr/bin/ostraftp ./usr/share/applications/ostraftp.desktop \
  ./usr/share/icons/hicolor/scalable/apps/ostraftp.svg; do
  if ! grep -q " $f\$" <<<"$list"; then
    echo "the package lacks $f"
    status=1
  fi
done
depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6widgets6 libqt6printsupport6 libcurl4 qt6-qpa-plugins fonts-liberation2 ca-certificates; do
  if ! grep -q "$d" <<<"$depends"; then
    echo "Depends lacks $d: $depends"
    status=1
  fi
done
if [ "$(dpkg-deb -f "$deb" Package)" != ostraftp ]; then
  echo "package name: $(dpkg-deb -f "$deb" Package)"
  status=1
fi
exit $status

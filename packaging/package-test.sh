#!/usr/bin/env bash
# package-test.sh BUILD_DIR: builds the .deb from BUILD_DIR with CPack (as `make package` does),
# checks its dependencies and contents, unpacks it into a fresh root and runs the binaries from
# there, with no VELVOX_RESOURCES: they must find the installed resources relative to
# themselves, and a user who cannot write the installed resources (the normal case) gets the
# built-in tracks' peak files in the cache of their home. Exits 77 (skipped) when this machine
# cannot build a package.
set -euo pipefail
build=$1

for tool in cpack dpkg-deb dpkg-shlibdeps fakeroot; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing, no package can be built here (scripts/install-deps.sh)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb=$(ls "$work"/out/velvox-nexa_*.deb)
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for need in libc6 libqt6gui6 libqt6quick6 libqt6network6 libavformat libavcodec libswresample \
  libsoundtouch libtag libportaudio libsqlite3 qml6-module-qtquick, qt6-qpa-plugins; do
  if ! grep -q -- "$need" <<<"$depends"; then
    echo "FAIL: Depends lacks $need"
    exit 1
  fi
done

contents=$(dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }')
for file in ./usr/bin/velvox ./usr/bin/velvox-cli \
  ./usr/share/applications/com.korvane.VelvoxNexa.desktop \
  ./usr/share/metainfo/com.korvane.VelvoxNexa.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/com.korvane.VelvoxNexa.svg \
  ./usr/share/icons/hicolor/48x48/apps/com.korvane.VelvoxNexa.png \
  ./usr/share/icons/hicolor/256x256/apps/com.korvane.VelvoxNexa.png \
  ./usr/share/velvox-nexa/velvox.sqlite "./usr/share/velvox-nexa/sound/Copper Lines.mp3" \
  ./usr/share/velvox-nexa/samples/fx_1.wav; do
  if ! grep -qxF -- "$file" <<<"$contents"; then
    echo "FAIL: the package lacks $file"
    exit 1
  fi
done
if grep -qE '\.(peak|vxpeak)$' <<<"$contents"; then
  echo "FAIL: the package carries peak files"
  exit 1
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop="$root/usr/share/applications/com.korvane.VelvoxNexa.desktop"
for line in 'Exec=velvox %u' \
  'MimeType=x-scheme-handler/korvane.velvoxnexa;x-scheme-handler/korvane.velvox;'; do
  if ! grep -qxF -- "$line" "$desktop"; then
    echo "FAIL: the desktop file lacks: $line"
    exit 1
  fi
done
unset VELVOX_RESOURCES VELVOX_HOME
"$root/usr/bin/velvox-cli" --help >"$work/help.txt"
grep -q "usage: velvox-cli" "$work/help.txt" || { echo "FAIL: velvox-cli --help"; exit 1; }

# The shell without a display lists the built-in tracks it found.
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velvox" --home "$work/shell-home" --headless \
  >"$work/headless.txt" || true
if ! grep -qF "$root/usr/share/velvox-nexa/sound" "$work/headless.txt" ||
  ! grep -qF "Copper Lines.mp3" "$work/headless.txt"; then
  cat "$work/headless.txt"
  echo "FAIL: the installed velvox does not find the installed resources"
  exit 1
fi

# A short party of the built-in tracks by a user who cannot write the installed resources.
home="$work/home"
mkdir -p "$home"
run=("$root/usr/bin/velvox-cli" --home "$home" party --minutes 0.05 --no-record)
if [[ $(id -u) -eq 0 ]]; then
  chown -R 65534:65534 "$home"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
else
  chmod -R a-w "$root/usr/share/velvox-nexa"
fi
if ! "${run[@]}" >"$work/party.txt" 2>&1; then
  cat "$work/party.txt"
  echo "FAIL: velvox-cli party from the package"
  exit 1
fi
chmod -R u+w "$root" 2>/dev/null || true
cached=$(find "$home/cache" -name '*.peak' 2>/dev/null | wc -l)
beside=$(find "$root/usr/share/velvox-nexa" -name '*.peak' | wc -l)
echo "peak files in the cache: $cached, beside the installed tracks: $beside"
if [[ $cached -lt 1 || $beside -ne 0 ]]; then
  cat "$work/party.txt"
  echo "FAIL: the built-in tracks' peak files belong in the user's cache"
  exit 1
fi
echo "package ok"

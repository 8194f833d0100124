#!/usr/bin/env bash
# Installs the Debian packages Velvox Nexa needs to build, run and test.
# Idempotent: when every package is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config ccache clang-format git
  # clang with libFuzzer and its sanitizer runtimes (make fuzz)
  clang
  # Qt 6 Quick shell and its QML modules
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-layouts
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtqml-workerscript
  libgl-dev libgl1-mesa-dri xvfb xauth
  # desktop integration: the X clipboard client the paste test drives, the validators of the
  # desktop file and the AppStream metainfo, the SVG rasteriser for the PNG icons
  xclip desktop-file-utils appstream librsvg2-bin
  # a private session bus and a real notification server for the desktop-notification test
  dbus-daemon dunst
  # audio and signal processing
  libsoundtouch-dev libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libtag1-dev libkissfft-dev portaudio19-dev ffmpeg
  # library, network, data
  libsqlite3-dev sqlite3 libsqlitecpp-dev libcpp-httplib-dev libavahi-client-dev
  nlohmann-json3-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # packaging (make package: CPack's .deb)
  dpkg-dev fakeroot file
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

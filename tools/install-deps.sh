#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need,
# only those that are missing, so a second run costs nothing.
# `install-deps.sh fuzz` adds clang with its sanitizer and libFuzzer runtime
# for `make fuzz`; `make test` and `make test-asan` build with g++.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6sql6-sqlite qt6-l10n-tools qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth dbus dbus-x11 libglib2.0-bin x11-utils x11-apps imagemagick
  fonts-noto-cjk adwaita-icon-theme
  libxcb1-dev libxcb-keysyms1-dev libxcb-xtest0-dev
  libqt6svg6
  librsvg2-bin desktop-file-utils dpkg-dev file openssl
  xdg-utils xdotool
  lintian appstream bash-completion man-db groff-base locales
)
if [ "${1:-}" = fuzz ]; then packages+=(clang libclang-rt-dev); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"

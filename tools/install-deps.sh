#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-dev clang-format
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-qpa-plugins
  libcurl4-openssl-dev libproxy-dev libxcb1-dev libxcb-keysyms1-dev libgl-dev
  libcpp-httplib-dev libmicrohttpd-dev libssl-dev libbenchmark-dev qtkeychain-qt6-dev
  libsodium-dev libsqlite3-dev
  chromium
  fonts-noto-cjk
  curl tinyproxy gnome-keyring dbus dbus-daemon xvfb xdotool x11-utils x11-xkb-utils imagemagick trayer openbox
  tint2 faketime wrk nginx-light dunst
  libwayland-dev libwayland-bin wayland-protocols sway grim foot xwayland weston qt6-wayland
  desktop-file-utils appstream lintian dpkg-dev file
  qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "These Debian packages are missing: ${missing[*]}" >&2
  echo "Install them as root: apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

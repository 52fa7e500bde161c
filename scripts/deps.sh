#!/usr/bin/env bash
# Installs, on Debian 12, whatever the build, the tests and the programs need and
# the machine lacks. Safe to run again: installed packages are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev libcli11-dev libasio-dev
  clang libclang-rt-14-dev
  xvfb xauth
  # The window's faces: DejaVu Sans Condensed for its Latin text (narrow enough for
  # every caption at its designed size), Noto Sans Arabic UI for its Persian.
  fonts-dejavu-core fonts-dejavu-extra fonts-noto-ui-core
  # The layout tests' second restricted set, Liberation with Noto (tests/ui/fonts-*.conf).
  fonts-liberation2
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages Pixolan needs, then any named after the group:
#   scripts/install-deps.sh run    building and running
#   scripts/install-deps.sh test   that, plus tests, sanitizers and packaging
# Does nothing when all are there.
set -euo pipefail

run_packages=(
  cmake gcc g++ make pkg-config
  qt6-base-dev qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev libwebp-dev libseccomp-dev
  fonts-liberation
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  clang-format-14 clang-tidy-14
  gcc-avr avr-libc binutils-avr clang-14 simavr gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib
  acl
  imagemagick python3-numpy
  scdoc dpkg-dev file lintian appstream desktop-file-utils man-db bash-completion
  emscripten chromium firefox-esr nodejs npm
)

group=${1:-run}
[[ $# -gt 0 ]] && shift
case $group in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 run|test [PACKAGE...]" >&2; exit 2 ;;
esac
packages+=("$@")

# A package counts as there when installed, or provided by one installed
# (npm comes inside a nodejs that is not Debian's).
provided=" $(dpkg-query -W -f='${Provides}, ' 2>/dev/null | sed 's/ ([^)]*)//g; s/,/ /g') "
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" || "$provided" == *" $p "* ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
else
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb from a built tree, has lintian judge it, and runs what it
# installs from an extracted root:  package_test.sh BUILD_DIR PICTURES_DIR
set -euo pipefail
build=$1
pictures=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

env -u SOURCE_DATE_EPOCH cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail cpack; }
debs=("$tmp"/out/pixolan_*.deb)
[[ -f ${debs[0]} ]] || fail "no pixolan_*.deb in the cpack output"
deb=${debs[0]}

# Made again a second later, the package is the same bytes.
sleep 1
env -u SOURCE_DATE_EPOCH cpack --config "$build/CPackConfig.cmake" -B "$tmp/again" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail cpack; }
cmp -s "$deb" "$tmp"/again/pixolan_*.deb || fail "a second package of the same build differs from the first"

lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
encode=$root/usr/bin/pixolan-encode
readelf -d "$encode" | grep -q PATH && fail "installed pixolan-encode has an RPATH/RUNPATH"

# The version it reports is the package's.
version=$(dpkg-deb -f "$deb" Version)
[[ $("$encode" --version) == "pixolan-encode $version" ]] || fail "--version says '$("$encode" --version)', package is $version"

# Pixel (0, 127) of the coordinate picture is R 0, G 127, B 0x40: 0x3E8 in RGB565,
# first after the five no-pixel samples of the bottom rows.
(cd "$tmp" && "$encode" "$pictures/crafted_coord_128x128.bmp" --depth 16) || fail "pixolan-encode failed"
want='unsigned int const Photos[17556]={0x7FF,0x7FF,0x7FF,0x7FF,0x7FF,0x3E8,'
[[ $(head -c ${#want} "$tmp/image.h") == "$want" ]] || fail "unexpected header: $(head -c 80 "$tmp/image.h")"

# The page, where the README sends users, whole: the core inside it.
grep -q 'PixolanCore' "$root/usr/share/pixolan/pixolan.html" 2>/dev/null || fail "pixolan.html is not in /usr/share/pixolan"

page=$root/usr/share/man/man1/pixolan-encode.1.gz
MANWIDTH=80 man -l "$page" 2>"$tmp/man.err" | col -b >"$tmp/man.txt"
[[ -s $tmp/man.err ]] && fail "man: $(cat "$tmp/man.err")"
grep -q '^EXIT STATUS' "$tmp/man.txt" && grep -q -- '--resolution' "$tmp/man.txt" || fail "man page of pixolan-encode does not render"
# What software centres read: valid metainfo, a desktop file without hints.
if command -v appstreamcli >/dev/null; then
  appstreamcli validate "$root/usr/share/metainfo/org.example.Pixolan.metainfo.xml" || fail "metainfo is not valid"
fi
if command -v desktop-file-validate >/dev/null; then
  hints=$(desktop-file-validate "$root/usr/share/applications/org.example.Pixolan.desktop" 2>&1) || true
  [[ -z $hints ]] || fail "desktop-file-validate: $hints"
fi
echo "package $(basename "$deb") passes"

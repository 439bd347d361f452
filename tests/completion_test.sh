#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Bash completes pixolan-encode's and pixolan-decode's options, their values
# and the right kind of file:  completion_test.sh COMPLETIONS_DIR
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1/pixolan-encode"
source "$1/pixolan-decode"
cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
touch logo.png photo.JPG card.tif notes.txt image.h

failures=0
# expect "WORDS TO COMPLETE" "sorted replies"; the last word is the one completed.
expect() {
  COMP_LINE=$1 COMP_POINT=${#1}
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "$(complete -p "${COMP_WORDS[0]}" | sed -E 's/.*-F ([^ ]+).*/\1/')"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  [[ $got == "$2" ]] || { echo "'$1': got '$got', want '$2'"; failures=$((failures + 1)); }
}

expect "pixolan-encode --depth " "12 16 8"
expect "pixolan-encode --resolution 132x1" "132x132 132x176"
expect "pixolan-encode --type " "legacy stdint"
expect "pixolan-encode --eol " "crlf lf"
expect "pixolan-encode --rotate " "180 270 90"
expect "pixolan-encode --fi" "--fill --fit"
expect "pixolan-encode --dither " "diffusion none ordered"
expect "pixolan-encode --di" "--dither"
expect "pixolan-encode --sw" "--swap-bytes"
expect "pixolan-encode --pro" "--progmem"
expect "pixolan-encode " "card.tif logo.png photo.JPG"
expect "pixolan-encode logo.png -o " "image.h"
expect "pixolan-decode " "image.h"
expect "pixolan-decode image.h -o " "logo.png"
expect "pixolan-decode --depth 1" "12 16"
expect "pixolan-decode --s" "--swap-bytes"
exit $((failures > 0))

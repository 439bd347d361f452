#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Bash completes pixolan-encode's and pixolan-decode's options, their values
# and the right kind of file, and offers what the programs take:
#   completion_test.sh COMPLETIONS_DIR [BIN_DIR]
set -uo pipefail
bin=${2:-}
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
# What is offered is what the programs take: every option --help lists
# (--output being -o's long name), no other, and every value offered for an
# option is accepted.
for program in pixolan-encode pixolan-decode; do
  [[ -n $bin && -x $bin/$program ]] || continue
  from_help=$("$bin/$program" --help | grep -E '^ +-' | sed -E 's/^ +//; s/  .*//' |
    grep -oE '(^|[ ,])--?[a-z][a-z0-9-]*' | tr -d ' ,' | sort -u | paste -sd ' ')
  offered=$(awk "/compgen -W '-/ { on = 1 } on { print } on && /-- \"[$]cur\"/ { on = 0 }" "$1/$program" |
    grep -oE -- "(^|[ '])--?[a-z][a-z0-9-]*" | tr -d " '" | grep -vx -- '--output' | sort -u | paste -sd ' ')
  [[ $offered == "$from_help" ]] || { echo "$program: completion offers '$offered', --help lists '$from_help'"; failures=$((failures + 1)); }
  while read -r option values; do
    for value in $values; do
      "$bin/$program" "$option" "$value" --help logo.png >/dev/null 2>&1 ||
        { echo "$program refuses $option $value, which the completion offers"; failures=$((failures + 1)); }
    done
  done < <(sed -nE "s/^ *(--[a-z-]+)[)] COMPREPLY=[(][$][(]compgen -W '([^']*)'.*/\1 \2/p" "$1/$program")
done
exit $((failures > 0))

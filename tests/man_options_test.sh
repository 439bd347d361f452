#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The options a program's --help lists are the ones its man page describes:
#   man_options_test.sh PROGRAM PAGE.scd
# Skips (77) when PROGRAM is not built.
set -euo pipefail
program=$1
page=$2
[[ -x $program ]] || { echo "$program not built: skipped"; exit 77; }

# --help: the first column of the indented option lines, e.g. "  -o FILE  where ...".
from_help=$("$program" --help | grep -E '^ +-' | sed -E 's/^ +//; s/  .*//' |
  grep -oE '(^|[ ,])--?[a-z][a-z0-9-]*' | tr -d ' ,' | sort -u)
# scdoc: the terms of the option list, e.g. "*-o* _FILE_".
from_page=$(grep -E '^\*-' "$page" | grep -oE '\*--?[a-z][a-z0-9-]*\*' | tr -d '*' | sort -u)

[[ -n $from_help ]] || { echo "no options found in $program --help"; exit 1; }
if [[ $from_help != "$from_page" ]]; then
  echo "options differ (< --help, > $page):"
  diff <(echo "$from_help") <(echo "$from_page") || true
  exit 1
fi
echo "$(echo "$from_help" | wc -l) options agree"

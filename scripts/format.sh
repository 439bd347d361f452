#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tracked C and C++ sources against .clang-format:
#   scripts/format.sh          names each file clang-format would change, at its first
#                              such line; fails if there is one
#   scripts/format.sh apply    rewrites the files in place
# Only clang-format 14, as Debian 12 has it: other versions lay out the same
# code differently. Exits 77, a skipped test, without it or outside a git
# checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-check}

format=
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null && [[ $("$candidate" --version) == *" version 14."* ]]; then
    format=$candidate
    break
  fi
done
if [[ -z $format ]]; then
  echo "skipped: clang-format 14 not found (scripts/install-deps.sh test installs it)"
  exit 77
fi
if ! files=$(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' ':!:tests/data/' 2>/dev/null); then
  echo "skipped: not a git checkout, so no list of the tracked files"
  exit 77
fi

case $mode in
  check) xargs -r -d '\n' "$format" --dry-run -Werror --ferror-limit=1 <<<"$files" || exit 1 ;;
  apply) xargs -r -d '\n' "$format" -i <<<"$files" ;;
  *) echo "usage: $0 [check|apply]" >&2; exit 2 ;;
esac

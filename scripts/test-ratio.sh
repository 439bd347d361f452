#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints the test suite's size against the product code's, in non-blank lines
# of C++ tracked by git. The suite aims at a quarter to a third of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files -- "$@" | xargs -r cat | grep -cv '^\s*$' || true; }
code=$(git ls-files '*.cpp' '*.h' | grep -vE '^(tests|bench|fuzz)/' | xargs -r cat | grep -cv '^\s*$' || true)
tests=$(count 'tests/*.cpp' 'tests/*.h')
echo "code $code lines, tests $tests lines: tests are $((100 * tests / code))% of the code"

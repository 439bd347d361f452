#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one file of page tests in Debian's Chromium: web/tests/run.sh FILE.test.mjs
# Skips (77) with the reason when Chromium or puppeteer-core is not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [[ ! -x ${PIXOLAN_CHROMIUM:-/usr/bin/chromium} ]]; then
  echo "skipped: Debian's chromium is not installed (scripts/install-deps.sh test installs it)"
  exit 77
fi
if [[ ! -d $here/../node_modules/puppeteer-core ]]; then
  echo "skipped: puppeteer-core is not installed (make test runs npm ci in web/)"
  exit 77
fi
exec node --test "$here/$1"

#!/usr/bin/env bash
# Times the browser page on a 10^6-slot case in headless Chromium, three times, and prints the page's
# size. Builds the program (for the case's answer) and the page first.
#   bench/web_page.sh      (needs Debian's emscripten, chromium and python3-websocket)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target hash_checker >/dev/null
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 tests/web_page_test.py --bench build-web/web/hash_checker.html build/hash_checker "$work/bench"

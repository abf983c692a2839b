#!/usr/bin/env bash
# Times the browser page on a 10^6-slot case in headless Chromium, five times, each beside the
# program on the same files, and prints both medians, their ratio and the page's size. Builds the
# program (for the case's answer and the baseline) and the page first.
#   bench/web_page.sh      (needs Debian's emscripten, chromium and python3-websocket)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j 2 --target hash_checker >/dev/null
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
/usr/bin/python3 tests/web_page_test.py --bench build-web/web/hash_checker.html build/hash_checker "$work/bench"

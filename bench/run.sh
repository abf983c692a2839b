#!/usr/bin/env bash
# Builds in Release and prints every performance figure: the builders, literal against fast, and
# the whole program on large generated files.   bench/run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j 2 --target hash_checker builder_bench >/dev/null
echo "== Builders: literal against fast, same run"
"$root/build/bench/builder_bench" --benchmark_min_time=0.2
echo
echo "== End to end: build/hash_checker on generated files"
"$root/bench/end_to_end.sh" "$root/build"
echo
echo "== A class in one gradebook run against one checking run per submission"
"$root/bench/gradebook_bench.sh" "$root/build"

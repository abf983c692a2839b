#!/usr/bin/env bash
# Builds in Release and prints every performance figure: the builders, literal against fast, the
# whole program on large generated files, and the largest cases against the single-threaded
# parse-and-write floor.   bench/run.sh [BASELINE_BINARY]
# With a baseline binary (an earlier build of hash_checker), small cases are also timed against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j 2 --target hash_checker builder_bench io_floor >/dev/null
echo "== Builders: literal against fast, same run"
"$root/build/bench/builder_bench" --benchmark_min_time=0.2
echo
echo "== End to end: build/hash_checker on generated files"
"$root/bench/end_to_end.sh" "$root/build"
echo
echo "== A class in one gradebook run against one checking run per submission"
"$root/bench/gradebook_bench.sh" "$root/build"
echo
echo "== One input per student: 1,000 variants made, and graded against a class run of one input"
"$root/bench/variants_bench.sh" "$root/build"
echo
echo "== The 10^7-slot cases against the parse-and-write floor, both cores against one"
"$root/bench/floor_ratio.sh" "$root/build" ${1:+"$1"}
echo
echo "== The audit of the 10^7-slot inputs beside a checking run, and --generate-large"
"$root/bench/audit_bench.sh" "$root/build"

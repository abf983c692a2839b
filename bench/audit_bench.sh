#!/usr/bin/env bash
# Times the audit of the 10^7-slot benchmark inputs beside a checking run of the same input, and
# the writing of such an input with --generate-large.
#   bench/audit_bench.sh [BUILD_DIR]     (default: build)
# Prints wall seconds, user plus system CPU seconds (steadier on a busy machine), peak resident
# MiB and that peak in tables (10^7 slots of 4-byte keys, 38.1 MiB; the audit is held to 3), the
# median of three runs by wall time, and the exit status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(cd "${1:-$root/build}" && pwd)/hash_checker
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work"

source "$root/bench/inputs.sh"

# measure NAME ARGUMENT...: runs the checker with the arguments three times.
measure() {
  local name=$1 status runs=()
  shift
  sync
  for _ in 1 2 3; do
    set +e
    /usr/bin/time -f '%e %M %U %S' -o time.txt "$binary" "$@" </dev/null >/dev/null
    status=$?
    set -e
    runs+=("$(tail -n 1 time.txt)")  # after "Command exited with non-zero status N"
  done
  read -r seconds kib user system < <(printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p)
  printf '| %-40s | %8s | %7.2f | %9d | %6.2f | %6d |\n' "$name" "$seconds" \
    "$(awk "BEGIN { print $user + $system }")" $((kib / 1024)) \
    "$(awk "BEGIN { print $kib * 1024 / $table_bytes }")" "$status"
}

table_bytes=$((10000000 * 4))
printf '| %-40s | %8s | %7s | %9s | %6s | %6s |\n' run 'wall (s)' 'cpu (s)' 'peak MiB' tables \
  status
printf '|%s|%s|%s|%s|%s|%s|\n' ------------------------------------------ ---------- --------- \
  ----------- -------- --------
for generator in clustered random_keys; do
  "$generator" >input.txt
  measure "$generator: answer-only run" 1 input.txt --no-answer-file
  measure "$generator: --audit" --audit input.txt
done
for shape in random clustered wrap repeated; do
  measure "--generate-large 10^7 slots, keys, $shape" --generate-large=large.txt --size=10000000 \
    --keys=10000000 --shape="$shape"
done

#!/usr/bin/env bash
# Times build/hash_checker against the single-threaded parse-and-write floor (bench/io_floor.cpp)
# on the 10^7-slot inputs, and against a baseline binary on 100,000 small cases.
#   bench/floor_ratio.sh [BUILD_DIR] [BASELINE_BINARY]     (default: build, no baseline)
# The output file of each input is its own answer file, so a checking run grades every line Right.
# Runs alternate between the programs compared; each figure is the median of three (five for the
# small cases), with peak resident memory. The floor's transcript and answer are checked to be
# the checker's, byte for byte, so both do the same work.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
checker=$build/hash_checker
floor=$build/bench/io_floor
baseline=${2:+$(cd "$(dirname "$2")" && pwd)/$(basename "$2")}
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cd "$work"
source "$root/bench/inputs.sh"

# run_timed LABEL COMMAND...: appends "seconds KiB" of one run, console to /dev/null, to LABEL.times.
# Each run starts alike: no answer file left from the run before (so neither program pays for
# truncating or replacing one) and the earlier runs' writes already on disk.
run_timed() {
  local label=$1
  shift
  rm -f hash_answer.txt floor_answer.txt
  sync
  /usr/bin/time -f '%e %M' -o time.txt "$@" </dev/null >/dev/null 2>/dev/null || true
  cat time.txt >>"$label.times"
}

# median LABEL: "seconds MiB" of the median run by time.
median() {
  local count
  count=$(wc -l <"$1.times")
  sort -n "$1.times" | sed -n "$(((count + 1) / 2))p" | awk '{ printf "%.2f %d\n", $1, $2 / 1024 }'
}

same_bytes() {  # MODE: the floor's transcript and answer against the checker's
  # The transcript names the answer file, so the checker writes it where the floor's names it.
  "$checker" "$1" input.txt output.txt </dev/null >checker.txt
  mv hash_answer.txt checker_answer.txt
  "$floor" "$1" input.txt output.txt >floor.txt
  cmp -s checker.txt floor.txt && cmp -s checker_answer.txt floor_answer.txt
}

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(uname -r)"
printf '| %-24s | %-11s | %-14s | %-14s | %-16s |\n' input mode 'floor s (MiB)' 'checker s (MiB)' 'checker / floor'
printf '|%s|%s|%s|%s|%s|\n' -------------------------- ------------- ---------------- ----------------- ------------------
for generator in clustered random_keys; do
  "$generator" >input.txt
  "$checker" 1 input.txt none --answer-file=output.txt </dev/null >/dev/null
  sync
  for mode in 1 0; do
    label=$([ "$mode" = 1 ] && echo answer-only || echo checking)
    same_bytes "$mode" || { echo "io_floor and hash_checker wrote different bytes ($label)"; exit 1; }
    rm -f floor.times checker.times checker.txt floor.txt checker_answer.txt floor_answer.txt
    for _ in 1 2 3; do
      run_timed floor "$floor" "$mode" input.txt output.txt
      run_timed checker "$checker" "$mode" input.txt output.txt
    done
    read -r floor_s floor_mib < <(median floor)
    read -r checker_s checker_mib < <(median checker)
    printf '| %-24s | %-11s | %5s (%5d)  | %5s (%5d)   | %16s |\n' "$generator" "$label" \
      "$floor_s" "$floor_mib" "$checker_s" "$checker_mib" "$(awk "BEGIN { printf \"%.2f\", $checker_s / $floor_s }")"
  done
  rm -f input.txt output.txt hash_answer.txt floor_answer.txt
done

[ -n "$baseline" ] || exit 0
echo
echo "100,000 cases of size 11, against $baseline"
printf '| %-11s | %-14s | %-14s | %-17s |\n' mode 'baseline s' 'checker s' 'checker / baseline'
printf '|%s|%s|%s|%s|\n' ------------- ---------------- ---------------- -------------------
small_cases >input.txt
"$checker" 1 input.txt none --answer-file=output.txt </dev/null >/dev/null
for mode in 1 0; do
  rm -f baseline.times checker.times
  for _ in 1 2 3 4 5; do
    run_timed baseline "$baseline" "$mode" input.txt output.txt
    run_timed checker "$checker" "$mode" input.txt output.txt
  done
  read -r base_s _ < <(median baseline)
  read -r checker_s _ < <(median checker)
  printf '| %-11s | %14s | %14s | %17s |\n' "$([ "$mode" = 1 ] && echo answer-only || echo checking)" \
    "$base_s" "$checker_s" "$(awk "BEGIN { printf \"%.2f\", $checker_s / $base_s }")"
done

#!/usr/bin/env bash
# Times build/hash_checker on large generated files and prints wall time and peak resident memory.
#   bench/end_to_end.sh [BUILD_DIR]     (default: build)
# Each input is first run in answer-only mode; its answer file then serves as the output file of
# a checking run, so the checking run grades every line Right and reads as much as it writes.
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

# Prints: name, mode and options, wall seconds and peak resident MiB (the median of three runs,
# after the generated files have reached the disk, so that write-back doesn't land in a
# measurement), the user plus system CPU seconds of that run (steadier than wall time on a busy
# machine), and the exit status.
# measure NAME MODE-LABEL OUTPUT [OPTION]...: runs the checker on input.txt and OUTPUT.
measure() {
  local name=$1 label=$2 output=$3 mode status runs=()
  shift 3
  mode=$([ "$label" = answer-only ] && echo 1 || echo 0)
  sync
  for _ in 1 2 3; do
    set +e
    /usr/bin/time -f '%e %M %U %S' -o time.txt "$binary" "$mode" input.txt "$output" "$@" </dev/null >/dev/null
    status=$?
    set -e
    runs+=("$(cat time.txt)")
  done
  read -r seconds kib user system < <(printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p)
  printf '| %-28s | %-34s | %8s | %7.2f | %9d | %6d |\n' "$name" "$label${*:+ $*}" "$seconds" \
    "$(awk "BEGIN { print $user + $system }")" $((kib / 1024)) "$status"
}

# Every line of the answer file made Wrong: its first two keys swap places (on a 10^7-slot layout
# both are usually 0, so the third and fourth keys swap too).
spoil() { awk '{ t = $1; $1 = $2; $2 = t; t = $3; $3 = $4; $4 = t; print }' "$1"; }

printf '| %-28s | %-34s | %8s | %7s | %9s | %6s |\n' input mode 'wall (s)' 'cpu (s)' 'peak MiB' status
printf '|%s|%s|%s|%s|%s|%s|\n' ------------------------------ ------------------------------------ ---------- --------- ----------- --------
for generator in clustered random_keys small_cases; do
  "$generator" >input.txt
  measure "$generator ($(du -m input.txt | cut -f1) MB in)" answer-only none
  mv hash_answer.txt output.txt
  measure "$generator" checking output.txt
  measure "$generator" checking output.txt --json=report.json
  echo "|   report.json: $(du -m report.json | cut -f1) MB | | | | | |"
  if [ "$generator" != small_cases ]; then
    spoil output.txt >wrong.txt
    measure "$generator, all lines Wrong" checking wrong.txt --no-answer-file
    measure "$generator, all lines Wrong" checking wrong.txt --no-answer-file --explain
  fi
  rm -f input.txt output.txt wrong.txt report.json hash_answer.txt
done

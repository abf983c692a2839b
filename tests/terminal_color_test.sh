#!/usr/bin/env bash
# Colour comes only where a person reads it: on a terminal (run here under script(1), which gives
# the program a pseudo-terminal) and not when NO_COLOR is set, nor in a pipe or a file.
#   terminal_color_test.sh BINARY EXAMPLES_DIR
set -u
binary=$1
examples=$2
if ! command -v script >/dev/null 2>&1; then
  echo "skipped: script(1) is missing; install the package bsdutils"
  exit 77
fi
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
cp "$examples/hash_input.txt" "$examples/hash_output.txt" "$work/" && cd "$work" || exit 1
failures=0
green=$'\e[32m>>>>>Right'
red=$'\e[31m>>>>>Wrong'

on_terminal() { NO_COLOR=${1:-} script -qec "'$binary' 0 hash_input.txt hash_output.txt </dev/null" /dev/null; }

transcript=$(on_terminal)
[[ $transcript == *"$green"* && $transcript == *"$red"* ]] || { echo "FAIL: no colour on a terminal"; failures=$((failures + 1)); }
transcript=$(on_terminal 1)
[[ $transcript != *$'\e['* ]] || { echo "FAIL: colour with NO_COLOR set"; failures=$((failures + 1)); }
transcript=$("$binary" 0 hash_input.txt hash_output.txt </dev/null | cat)
[[ $transcript != *$'\e['* ]] || { echo "FAIL: colour in a pipe"; failures=$((failures + 1)); }
transcript=$(NO_COLOR=1 "$binary" --color=always 0 hash_input.txt hash_output.txt </dev/null --json=r.json)
[[ $transcript == *"$green"* ]] || { echo "FAIL: --color=always ignored"; failures=$((failures + 1)); }
! grep -q $'\e' r.json hash_answer.txt || { echo "FAIL: colour in a file"; failures=$((failures + 1)); }
echo "terminal colour tests: $failures failed"
[ "$failures" -eq 0 ]

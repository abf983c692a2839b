#!/usr/bin/env bash
# The HTML report of the shipped example as headless Chromium renders it: three cases, one slot
# cell per slot of every expected and submitted row, the three Wrong lines' differing slots marked,
# and no request to the network. Also leaves a screenshot, OUT_DIR/report.png, to look at.
# Usage: html_browser_test.sh BINARY EXAMPLES_DIR OUT_DIR
# Exits 77 (skipped) when chromium is missing, 1 with a message on the first failed check.
set -u

binary=$1
examples=$2
out_dir=$3

source "$(dirname "$0")/browser_checks.sh"

rm -f report.html dom.html report.png chromium.log ./*.netlog.json

check_the_detector

# Copies read by their bare names, so that the page (and its screenshot) shows no folder of this
# machine. --explain makes the run diagnose Wrong lines, so the page draws their probe paths.
cp "$examples/hash_input.txt" "$examples/hash_output.txt" . || fail "can't copy the example"
"$binary" --no-answer-file --explain --html=report.html 0 hash_input.txt hash_output.txt \
  </dev/null >console.txt
status=$?
[[ $status -eq 0 ]] || fail "hash_checker ended with status $status"
[[ -s report.html ]] || fail "no report.html"

dump_alone "$out_dir/report.html" dom.html
run_browser shot.netlog.json --screenshot="$out_dir/report.png" --window-size=1280,2000 \
  "file://$out_dir/report.html" >/dev/null
[[ -s report.png ]] || fail "chromium took no screenshot"
requests=$(page_requests shot.netlog.json)
[[ -z "$requests" ]] || fail "the page made requests: $requests"

# Cases of table sizes 7, 11 and 5: 23 slots, drawn in three expected and three submitted rows.
# The last case's double-hashing line is one key short: its missing slot gets a marked cell.
expect_count "cases" 3 "$(count '<details' dom.html)"
expect_count "unfolded cases" 2 "$(count '<details [^>]*open' dom.html)"
expect_count "slot cells" 138 "$(count '<td class="slot( [a-z]+)*"' dom.html)"
expect_count "marked cells" 5 "$(count '<td class="slot( [a-z]+)* diff( [a-z]+)*"' dom.html)"
expect_count "Wrong lines" 3 "$(count 'class="verdict wrong"' dom.html)"
expect_count "settling slots of misplaced keys" 3 "$(count '<td class="slot( [a-z]+)* settle' dom.html)"
grep -q '6 / 9' dom.html || fail "the totals don't read 6 / 9"
echo "ok: 3 cases, 138 slot cells, 5 marked, no request; screenshot $out_dir/report.png"

#!/usr/bin/env bash
# The step-through as headless Chromium reads it: three cases whose misplaced keys have paths
# worked out by hand, each Wrong line the layout of a known mistake. The steps of every build are
# read back from the DOM (count, slots in order, keys held, the settling slot, where the mistake
# parts), on the single-run page and on a class run's page of the same submission; no request, no
# script, the page's Content-Security-Policy as it was.
# Usage: step_browser_test.sh BINARY OUT_DIR
# Exits 77 (skipped) when chromium is missing, 1 with a message on the first failed check.
set -u

binary=$1
out_dir=$2

source "$(dirname "$0")/browser_checks.sh"

rm -rf pages ./*.html ./*.netlog.json chromium.log

check_the_detector

# Case 0, linear probing: 3 tries 3, 4, 5 and 6 (held by 10, 17, 4, 24) and wraps to 0; the line
# is the layout without the wrap, which drops it. Case 1, two-pass hashing: 17 finds 10 at home
# and settles in 4; with the second list in two passes 4 is there first. Case 2, double hashing:
# 24 probes 3, 1 and 6 (step 5) and scans on to 0; scanning from the home slot gives 4.
printf '%s\n' 3 '7 3 2' '10 17 4' '24 3' '7 3 2' '10' '17 4' '7 3 2' '3 17 1 24' '' >hash_input.txt
printf '%s\n' '0 0 0 10 17 4 24' '3 0 0 10 4 17 24' '3 24 0 10 4 0 17' \
  '0 0 0 10 17 4 0' '0 0 0 10 4 17 0' '0 0 0 10 4 0 17' \
  '0 1 0 3 17 24 0' '0 1 0 3 17 24 0' '0 1 0 3 24 0 17' >ann.txt

"$binary" --no-answer-file --html=report.html 0 hash_input.txt ann.txt </dev/null >console.txt
status=$?
[[ $status -eq 0 ]] || fail "hash_checker ended with status $status"
"$binary" --gradebook=grades.csv --no-answer-file --html-dir=pages hash_input.txt ann.txt \
  </dev/null >class_console.txt
status=$?
[[ $status -eq 0 ]] || fail "the class run ended with status $status"

# Each build's steps as "build: step slot held [settles] [parts] | ...", one line per build.
read_steps() {
  python3 - "$1" <<'EOF'
import html.parser, sys
class steps(html.parser.HTMLParser):
    builds = []
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "data-build" in a:
            self.builds.append([a["data-build"]])
        elif "data-step" in a:
            text = f'{a["data-step"]} {a["data-slot"]} {a["data-held"] or "-"}'
            if "data-settles" in a:
                text += " settles"
            if "parts" in (a.get("class") or "").split():
                text += " parts"
            self.builds[-1].append(text)
parser = steps()
parser.feed(open(sys.argv[1], encoding="utf-8").read())
for build in parser.builds:
    print(build[0] + ": " + " | ".join(build[1:]))
EOF
}

want='correct: 1 3 10 | 2 4 17 | 3 5 4 | 4 6 24 | 5 0 - settles
no_wrap_around: 1 3 10 | 2 4 17 | 3 5 4 | 4 6 24
correct: 1 3 10 | 2 4 - settles
second_list_two_pass: 1 3 10 | 2 4 4 parts | 3 5 - settles
correct: 1 3 3 | 2 1 1 | 3 6 17 | 4 0 - settles
scan_from_home: 1 3 3 | 2 1 1 | 3 6 17 | 4 4 - settles parts'

csp="<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
for page in report.html pages/ann.txt.html; do
  dom=$(basename "$page" .html).dom.html
  dump_alone "$out_dir/$page" "$dom"
  got=$(read_steps "$dom")
  [[ "$got" == "$want" ]] || fail "$page: steps read back as
$got
expected
$want"
  grep -qF "$csp" "$page" || fail "$page: the Content-Security-Policy changed"
  expect_count "$page: dropped ends" 1 "$(count 'no slot left: dropped' "$dom")"
done

echo "ok: 6 walks read back from both pages, no request"

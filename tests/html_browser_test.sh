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

browser=$(command -v chromium || true)
if [[ -z "$browser" ]]; then
  echo "skipped: chromium is missing; install the Debian package chromium"
  exit 77
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p "$out_dir" || fail "can't create $out_dir"
out_dir=$(cd "$out_dir" && pwd)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

# Every name resolves to nothing, so a request the page made could not leave the machine; the net
# log still records that it was made.
run_browser() {
  local net_log=$1
  shift
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --host-resolver-rules="MAP * ~NOTFOUND" \
    --log-net-log="$net_log" "$@" 2>>"$out_dir/chromium.log"
}

# Requests the page asked for. Chromium's own (updates, accounts) have no initiator; the page's
# carry its origin, which for a file is "null" or "file://".
page_requests() {
  python3 - "$1" <<'EOF'
import json, sys
log = json.load(open(sys.argv[1]))
names = {number: name for name, number in log["constants"]["logEventTypes"].items()}
for event in log["events"]:
    params = event.get("params", {})
    if names.get(event["type"]) != "URL_REQUEST_START_JOB" or "url" not in params:
        continue
    if params.get("initiator") != "not an origin" and not params["url"].startswith("file:"):
        print(params["url"])
EOF
}

count() {
  grep -oE "$1" "$2" | wc -l
}

expect_count() {
  local name=$1 want=$2 got=$3
  [[ "$got" -eq "$want" ]] || fail "$name: expected $want, found $got"
}

cd "$out_dir" || fail "can't enter $out_dir"
rm -f report.html dom.html report.png chromium.log ./*.netlog.json

# The detector must see a request when there is one, or its silence below proves nothing.
printf '<!DOCTYPE html><img src="http://203.0.113.9/x.png">\n' >canary.html
run_browser canary.netlog.json --dump-dom "file://$out_dir/canary.html" >/dev/null
[[ -n "$(page_requests canary.netlog.json)" ]] || fail "the net log shows no request of the canary page"

# Copies read by their bare names, so that the page (and its screenshot) shows no folder of this
# machine. --explain makes the run diagnose Wrong lines, so the page draws their probe paths.
cp "$examples/hash_input.txt" "$examples/hash_output.txt" . || fail "can't copy the example"
"$binary" --no-answer-file --explain --html=report.html 0 hash_input.txt hash_output.txt \
  </dev/null >console.txt
status=$?
[[ $status -eq 0 ]] || fail "hash_checker ended with status $status"
[[ -s report.html ]] || fail "no report.html"

run_browser page.netlog.json --dump-dom "file://$out_dir/report.html" >dom.html
[[ -s dom.html ]] || fail "chromium dumped no DOM"
run_browser shot.netlog.json --screenshot="$out_dir/report.png" --window-size=1280,2000 \
  "file://$out_dir/report.html" >/dev/null
[[ -s report.png ]] || fail "chromium took no screenshot"

requests=$(page_requests page.netlog.json; page_requests shot.netlog.json)
[[ -z "$requests" ]] || fail "the page made requests: $requests"
if grep -qiE '(src|href)="?(https?:)?//|url\(|@import|<script|<link|<img|<iframe' dom.html; then
  fail "the page refers to something outside itself"
fi

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

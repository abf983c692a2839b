# Shared by the headless-Chromium tests: sourced after setting out_dir. Exits 77 (skipped) when
# chromium is missing; fail exits 1 with a message. Leaves the caller in out_dir, which holds
# chromium.log.
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
main_shell=$BASHPID  # a signalled job that is still a copy of this shell leaves the profile alone
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$profile"; fi' EXIT

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

# Dumps PAGE's DOM to DOM, failing on a request or a reference to anything outside the page.
dump_alone() {
  local page=$1 dom=$2
  run_browser "$dom.netlog.json" --dump-dom "file://$page" >"$dom"
  [[ -s "$dom" ]] || fail "chromium dumped no DOM of $page"
  local requests
  requests=$(page_requests "$dom.netlog.json")
  [[ -z "$requests" ]] || fail "$page made requests: $requests"
  if grep -qiE '(src|href)="?(https?:)?//|url\(|@import|<script|<link|<img|<iframe' "$dom"; then
    fail "$page refers to something outside itself"
  fi
}

# The detector must see a request when there is one, or its silence proves nothing.
check_the_detector() {
  printf '<!DOCTYPE html><img src="http://203.0.113.9/x.png">\n' >canary.html
  run_browser canary.netlog.json --dump-dom "file://$out_dir/canary.html" >/dev/null
  [[ -n "$(page_requests canary.netlog.json)" ]] || fail "the net log shows no request of the canary page"
}

cd "$out_dir" || fail "can't enter $out_dir"

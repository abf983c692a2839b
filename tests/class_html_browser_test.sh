#!/usr/bin/env bash
# The class pages of the shipped class as headless Chromium renders them: index.html with one row
# per submission, a link per graded one, one SVG histogram of ten bars; a submission's own page
# with its four cases and a link back; the mistake bars and the case x strategy grid, each cell
# against the CSV; the CSP unchanged; no request to the network; and, for a submission named with
# quotes, angle brackets, '&', '#' and '%', a link that still opens its page. Leaves
# OUT_DIR/class_index.png and OUT_DIR/class_charts.png (the whole page).
# Usage: class_html_browser_test.sh BINARY EXAMPLES_DIR OUT_DIR
# Exits 77 (skipped) when chromium is missing, 1 with a message on the first failed check.
set -u

binary=$1
examples=$2
out_dir=$3

source "$(dirname "$0")/browser_checks.sh"

# The links of a dumped page that name no file in FOLDER, after percent-decoding.
dead_links() {
  python3 - "$1" "$2" <<'EOF'
import html.parser, os, sys, urllib.parse
class links(html.parser.HTMLParser):
    found = []
    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self.found.append(dict(attrs)["href"])
parser = links()
parser.feed(open(sys.argv[1], encoding="utf-8").read())
for href in parser.found:
    if "/" in href or ":" in href or not os.path.isfile(os.path.join(sys.argv[2], urllib.parse.unquote(href))):
        print(href)
EOF
}

rm -rf class pages odd_pages ./*.html ./*.netlog.json class_index.png class_charts.png chromium.log

check_the_detector

# A copy read by relative paths, so that the pages show no folder of this machine.
cp -r "$examples/class" class || fail "can't copy the class"
"$binary" --gradebook=grades.csv --no-answer-file --html-dir=pages class/hash_input.txt \
  class/alice.txt class/bob.txt class/carol.txt class/dave.txt class/late </dev/null >console.txt
status=$?
[[ $status -eq 1 ]] || fail "hash_checker ended with status $status, not 1"

dump_alone "$out_dir/pages/index.html" index.dom.html
expect_count "rows" 6 "$(count '<tr class="(graded|failed)">' index.dom.html)"
expect_count "links" 5 "$(count '<a href=' index.dom.html)"
expect_count "charts" 3 "$(count '<svg' index.dom.html)"
expect_count "bars" 10 "$(count '<rect class="bar"' index.dom.html)"
[[ -z "$(dead_links index.dom.html pages)" ]] || fail "dead links: $(dead_links index.dom.html pages)"
grep -q '<dd>5 of 6 submissions</dd>' index.dom.html || fail "the totals don't read 5 of 6"
grep -qF "content=\"default-src 'none'; style-src 'unsafe-inline'\"" index.dom.html ||
  fail "the class page's CSP changed"
expect_count "mistake bars" 24 "$(count '<rect class="mistake-bar"' index.dom.html)"
expect_count "grid cells" 12 "$(count '<g class="cell"' index.dom.html)"
# Each cell of the case x strategy grid against the gradebook: the submissions graded on the case
# whose wrong_lines lack that case and strategy, as a whole percent (never 0 or 100 unless exact).
cell_problems=$(python3 - grades.csv index.dom.html <<'EOF'
import csv, html.parser, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding="utf-8")))
class cells(html.parser.HTMLParser):
    found, at = {}, None
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "g" and a.get("class") == "cell":
            self.at = (int(a["data-case"]), a["data-strategy"])
    def handle_data(self, data):
        if self.at and data.strip():
            self.found[self.at] = data.strip()
            self.at = None
parser = cells()
parser.feed(open(sys.argv[2], encoding="utf-8").read())
want = {}
for name in [k for k in rows[0] if k.startswith("case_")]:
    c = int(name[5:])
    graded = [r for r in rows if r[name] != ""]
    for s in ("linear_probing", "two_pass_hashing", "double_hashing"):
        right = sum(f"{c}:{s}" not in r["wrong_lines"].split(";") for r in graded)
        if not graded:
            want[(c, s)] = "-"
            continue
        p = (2 * right * 100 + len(graded)) // (2 * len(graded))
        if 0 < right < len(graded):
            p = min(max(p, 1), 99)
        want[(c, s)] = f"{p}%"
if parser.found != want:
    print(f"grid {sorted(parser.found.items())} but the CSV gives {sorted(want.items())}")
EOF
)
[[ -z "$cell_problems" ]] || fail "$cell_problems"

# Bob swapped two key lists of case 1: four cases, one of them open with Wrong lines.
dump_alone "$out_dir/pages/bob.txt.html" bob.dom.html
expect_count "Bob's cases" 4 "$(count '<details' bob.dom.html)"
expect_count "Bob's Wrong lines" 3 "$(count 'class="verdict wrong"' bob.dom.html)"
grep -qF '<a href="index.html">' bob.dom.html || fail "Bob's page has no link back to index.html"

run_browser shot.netlog.json --screenshot="$out_dir/class_index.png" --window-size=1000,1004 \
  "file://$out_dir/pages/index.html" >/dev/null
[[ -s class_index.png ]] || fail "chromium took no screenshot"
run_browser charts.netlog.json --screenshot="$out_dir/class_charts.png" --window-size=1000,1900 \
  "file://$out_dir/pages/index.html" >/dev/null
[[ -s class_charts.png ]] || fail "chromium took no screenshot of the charts"

# A name that HTML and URLs both treat specially still links to its own page.
mkdir -p odd && cp class/alice.txt 'odd/say "hi" <b> & #1 %41.txt' || fail "can't copy Alice"
"$binary" --gradebook=odd.csv --no-answer-file --html-dir=odd_pages class/hash_input.txt odd \
  </dev/null >/dev/null || fail "the odd class ended with status $?"
dump_alone "$out_dir/odd_pages/index.html" odd.dom.html
expect_count "odd links" 1 "$(count '<a href=' odd.dom.html)"
[[ -z "$(dead_links odd.dom.html odd_pages)" ]] || fail "dead link: $(dead_links odd.dom.html odd_pages)"
grep -qF 'odd/say "hi" &lt;b&gt; &amp; #1 %41.txt</a>' odd.dom.html || fail "the odd name reads wrong"
echo "ok: 6 rows, 5 links, 10 bars, 24 mistake bars, 12 grid cells as the CSV has them, no request;"
echo "screenshots $out_dir/class_index.png and $out_dir/class_charts.png"

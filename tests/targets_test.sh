#!/usr/bin/env bash
# Runs the checker with its answer file, CSV and reports pointed at things that are not regular
# files — FIFOs, links to a device, standard output, directories, sockets — and under a file size
# limit, and checks that nothing is replaced or left behind and that the status and the reports
# agree.
#   targets_test.sh BINARY
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
# A job this script signals before it has started its program is still a copy of this shell,
# and would run the trap too, removing the folder under the runs still going: only the script
# itself removes it.
main_shell=$BASHPID
trap 'if [ "$BASHPID" = "$main_shell" ]; then rm -rf "$work"; fi' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A fresh folder holding a two-case input, a submission with one Wrong line, and `class/`.
fresh() {
  rm -rf "$work/run" && mkdir -p "$work/run/class" && cd "$work/run" || exit 1
  printf '2\n7 0 0\n10 17 4\n24 3\n5 0 0\n5 10 15 20 25\n30\n' >in.txt
  printf '3 0 0 10 17 4 24\n3 0 0 10 4 17 24\n3 24 0 10 4 0 17\n5 10 15 20 25\n5 10 15 20 25\n1\n' >sub.txt
  cp sub.txt class/alice.txt
  cp sub.txt class/bob.txt
}

left_behind() { find "$work/run" -name '.hash_checker-*' | head -n 1; }

# Each option pointed at a FIFO (named, or through a link) whose reader waits: the reader gets
# the text, and the FIFO and the link are still there afterwards.
fifo_targets() {
  local option first
  while read -r option first; do
    for through_link in no yes; do
      fresh
      mkfifo pipe
      local target=pipe
      [ "$through_link" = yes ] && ln -s pipe link && target=link
      timeout 20 cat pipe >received &
      local reader=$!
      local args=(0 in.txt sub.txt "$option=$target")
      [ "$option" = --gradebook ] && args=("$option=$target" in.txt class)
      "$binary" "${args[@]}" </dev/null >console 2>&1
      local status=$?
      wait "$reader"
      local what="$option through a FIFO (link: $through_link)"
      [ "$status" -eq 0 ] || fail "$what: status $status: $(head -c 200 console)"
      [ "$(head -c ${#first} received)" = "$first" ] || fail "$what: the reader got $(head -c 40 received)"
      [ -p pipe ] || fail "$what: the FIFO was replaced"
      [ "$through_link" = no ] || [ -L link ] || fail "$what: the link was replaced"
      [ -z "$(left_behind)" ] || fail "$what: left $(left_behind)"
    done
  done <<'EOF'
--answer-file 3 0 0 10 17 4 24
--json {
--gradescope {
--junit <?xml
--html <!DOCTYPE html>
--gradebook submission,
EOF
}

# A link to a character device is written through: the link stays a link.
device_link() {
  fresh
  ln -s /dev/null null
  for option in --answer-file --json; do
    "$binary" 0 in.txt sub.txt "$option=null" </dev/null >console 2>&1
    local status=$?
    [ "$status" -eq 0 ] || fail "$option at a link to /dev/null: status $status: $(head -c 200 console)"
    [ -L null ] || fail "$option at a link to /dev/null: the link was replaced"
  done
}

# Directories, sockets and links to directories are refused before anything is written, naming
# the path and what it is.
refused_targets() {
  local have_socket=yes
  command -v python3 >/dev/null || {
    echo "skipped: sockets as targets (python3 is missing; install the Debian package python3)"
    have_socket=no
  }
  local option kind
  for option in --answer-file --json --junit --gradebook; do
    for kind in directory link socket; do
      [ "$kind" = socket ] && [ "$have_socket" = no ] && continue
      fresh
      case $kind in
        directory) mkdir target ;;
        link) mkdir folder && ln -s folder target ;;
        socket) python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("target")' ;;
      esac
      local args=(0 in.txt sub.txt "$option=target" --gradescope=other.json)
      [ "$option" = --gradebook ] && args=("$option=target" --report-dir=reports in.txt class)
      "$binary" "${args[@]}" </dev/null >console 2>/dev/null
      local status=$? what="$option at a $kind" shown=${kind/link/directory}
      [ "$status" -eq 255 ] || fail "$what: status $status, not 255"
      grep -q "target is a $shown; nothing was written" console || fail "$what: $(cat console)"
      [ "$(wc -l <console)" -eq 1 ] || fail "$what: more than one line: $(cat console)"
      [ ! -e other.json ] && [ ! -e reports ] && [ ! -e hash_answer.txt ] ||
        fail "$what: a file was written"
    done
  done
}

# `-` and /dev/stdout put a report on standard output and the transcript on standard error.
standard_output() {
  fresh
  "$binary" 0 in.txt sub.txt --json=- </dev/null >report 2>console
  [ "$(head -c 1 report)" = "{" ] || fail "--json=-: standard output holds $(head -c 40 report)"
  grep -q '^>>>>>Wrong' console || fail "--json=-: no transcript on standard error"
  "$binary" 0 in.txt sub.txt --junit=/dev/stdout </dev/null 2>console | cat >report
  [ "$(head -c 5 report)" = "<?xml" ] || fail "--junit=/dev/stdout: the pipe got $(head -c 40 report)"
  grep -q '^>>>>>Wrong' console || fail "--junit=/dev/stdout: no transcript on standard error"
  "$binary" --gradebook=- in.txt class </dev/null >grades 2>console
  [ "$(head -c 11 grades)" = "submission," ] || fail "--gradebook=-: $(head -c 40 grades)"
  grep -q 'alice.txt' console || fail "--gradebook=-: no roster on standard error"
  "$binary" 0 in.txt sub.txt --json=- --junit=- </dev/null >report 2>&1
  grep -q '^JUnit report - is the JSON report -; nothing was written$' report ||
    fail "two reports on standard output: $(cat report)"
}

# The status every report holds is the one the run exits with, even when the console fails.
status_recorded() {
  fresh
  "$binary" 0 in.txt sub.txt --json=r.json </dev/null >/dev/full 2>/dev/null
  local status=$?
  [ "$status" -eq 255 ] || fail "a full console: status $status"
  grep -q '"status": *255' r.json || fail "a full console: r.json says $(grep -o '"status": *[0-9]*' r.json)"
  grep -q '"error": *"standard output write failed"' r.json || fail "a full console: no error in r.json"
  # A class run's files appear as a set: with the console failing, none of them does, unless it
  # is written in place, where it holds the failure.
  mkfifo class.fifo
  timeout 20 cat class.fifo >class.json &
  local reader=$!
  mkdir reports && ln -s ../class.fifo reports/class.json
  "$binary" --gradebook=g.csv --report-dir=reports in.txt class </dev/null >/dev/full 2>/dev/null
  status=$?
  wait "$reader"
  [ "$status" -eq 255 ] || fail "a full console, class: status $status"
  grep -q '"status": *255' class.json ||
    fail "a full console: class.json says $(grep -o '"status": *[0-9]*' class.json)"
  [ ! -e g.csv ] || fail "a full console, class: the CSV appeared"
}

# Over `ulimit -f` a write fails like any other: one line, 255, no temporary file left.
file_size_limit() {
  fresh
  awk 'BEGIN { print 1; print "3001 0 0"; for (k = 1; k <= 3000; k++) printf "%d ", k; print ""; print "" }' >big.txt
  (ulimit -f 4 && exec "$binary" 1 big.txt x </dev/null 2>&1) | cat >console
  local status=${PIPESTATUS[0]}
  [ "$status" -eq 255 ] || fail "ulimit -f, checking run: status $status"
  grep -q 'Answer File ./hash_answer.txt write failed' console || fail "ulimit -f: $(tail -c 200 console)"
  [ -z "$(left_behind)" ] || fail "ulimit -f, checking run: left $(left_behind)"
  for s in 1 2 3; do cp sub.txt "class/s$s.txt"; done
  (ulimit -f 4 && exec "$binary" --gradebook=g.csv --report-dir=reports --html-dir=pages \
    big.txt class </dev/null 2>&1) | cat >console
  status=${PIPESTATUS[0]}
  [ "$status" -eq 255 ] || fail "ulimit -f, class run: status $status"
  grep -q 'write failed' console || fail "ulimit -f, class run: $(tail -c 200 console)"
  [ -z "$(left_behind)" ] || fail "ulimit -f, class run: left $(left_behind)"
}

# Targets with the longest name a folder takes, and a submission with one, still get written.
long_names() {
  fresh
  local name
  name=$(printf 'n%.0s' $(seq 250))
  "$binary" 0 in.txt sub.txt "--answer-file=${name}.txt" "--json=${name}.json" </dev/null >console 2>&1
  local status=$?
  [ "$status" -eq 0 ] || fail "255-byte targets: status $status: $(tail -c 300 console)"
  [ -s "$name.txt" ] && [ -s "$name.json" ] || fail "255-byte targets: not written"
  cp sub.txt "class/$name"
  "$binary" --gradebook=g.csv --report-dir=reports in.txt class </dev/null >console 2>&1
  status=$?
  [ "$status" -eq 0 ] || fail "a 250-byte submission name: status $status: $(tail -c 300 console)"
  [ "$(ls reports | wc -l)" -eq 4 ] || fail "a 250-byte submission name: reports $(ls reports)"
}

fifo_targets
device_link
refused_targets
standard_output
status_recorded
file_size_limit
long_names
echo "target tests: $failures failed"
[ "$failures" -eq 0 ]

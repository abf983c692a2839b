#!/usr/bin/python3
"""The browser page, hash_checker.html, driven in headless Chromium through the DevTools protocol
and held against the native program on the same files.

Usage: web_page_test.py PAGE BINARY WORK_DIR           the checks; exits 1 on the first failure
       web_page_test.py --bench PAGE BINARY WORK_DIR   times a 10^6-slot case in the page
                                                       beside the program

Exits 77 (skipped), naming the Debian package, when chromium, python3-websocket or the page (built
with emscripten by `cmake --preset web`) is missing; with HASH_CHECKER_WEB_REQUIRED=1 in the
environment, as CI runs it, a missing piece fails instead.

The page starts the worker of its first check as it opens, and the next one after each check.
Each case is picked through the page's own file inputs, checked with its button, and its
results are read back from the page and from its downloads: the transcript, the answer file and
the report must equal, byte for byte, what `hash_checker --explain --html` writes for the same
files, and the score shown must be the program's. Both files dropped on the page are checked
too. A page built to reveal less (HASH_CHECKER_WEB_REVEAL in its build's CMakeCache.txt) is held
against `--reveal=LEVEL`, and must offer neither the transcript nor the answer file, even for an
empty output file, nor give the exit status. The check runs in the page's worker: during a
10^7-slot case a timer on the page fires with no gap of 200 ms and the status line tells the
case and line; Cancel ends it at once; a 5*10^7-slot case the tab can't hold is "case N not
built: the browser could not give it M MB" with the rest of the report. Chromium's
net log must show no request of the page, and a control page that does make one
proves that the log would show it. The page as it shows the example is left in
WORK_DIR/page.png.
"""
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import websocket
except ImportError:
    websocket = None

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    # Every name resolves to nothing, so no request could leave the machine; the net log still
    # records each one that was made.
    "--host-resolver-rules=MAP * ~NOTFOUND", "--remote-debugging-port=0"]
CONTROL_URL = "http://203.0.113.9/control.png"


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


class Browser:
    """Chromium with one page, spoken to over the DevTools protocol's browser socket."""

    def __init__(self, work, net_log):
        self.profile = tempfile.mkdtemp(prefix="profile.", dir=work)
        self.log = open(os.path.join(work, "chromium.log"), "ab")
        self.process = subprocess.Popen(
            ["chromium", *CHROMIUM_FLAGS, f"--user-data-dir={self.profile}",
             f"--log-net-log={net_log}", "about:blank"],
            stdout=self.log, stderr=self.log)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 60
        while not os.path.exists(port_file) or len(open(port_file).read().split()) < 2:
            expect(self.process.poll() is None, "chromium ended at start; see chromium.log")
            expect(time.time() < deadline, "chromium opened no DevTools port in 60 s")
            time.sleep(0.1)
        port, path = open(port_file).read().split()[:2]
        self.socket = websocket.create_connection(f"ws://127.0.0.1:{port}{path}",
                                                  suppress_origin=True, timeout=120)
        self.next_id = 0
        self.events = []
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self.session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"],
                                 flatten=True)["sessionId"]
        self.call("Page.enable", self.session)

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        self.socket.send(json.dumps(message))
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get("id") != self.next_id:
                self.events.append(reply)
                continue
            expect("error" not in reply, f"{method}: {reply.get('error')}")
            return reply["result"]

    def wait_event(self, method, test=lambda params: True, seconds=60):
        deadline = time.time() + seconds
        while True:
            for event in self.events:
                if event.get("method") == method and test(event["params"]):
                    self.events.remove(event)
                    return event["params"]
            expect(time.time() < deadline, f"no {method} in {seconds} s")
            self.events.append(json.loads(self.socket.recv()))

    def page(self, method, **params):
        return self.call(method, self.session, **params)

    def open(self, url):
        self.events.clear()
        self.page("Page.navigate", url=url)
        self.wait_event("Page.loadEventFired")

    def evaluate(self, expression):
        reply = self.page("Runtime.evaluate", expression=expression, awaitPromise=True,
                          returnByValue=True)
        expect("exceptionDetails" not in reply, f"{expression}: {reply.get('exceptionDetails')}")
        return reply["result"].get("value")

    def pick(self, selector, path):
        root = self.page("DOM.getDocument")["root"]["nodeId"]
        node = self.page("DOM.querySelector", nodeId=root, selector=selector)["nodeId"]
        self.page("DOM.setFileInputFiles", nodeId=node, files=[path])

    def download(self, link_id, folder):
        """Clicks the link as a student would and returns the bytes of the file it saves."""
        os.makedirs(folder)
        self.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=folder,
                  eventsEnabled=True)
        self.evaluate(f"document.getElementById('{link_id}').click()")
        begun = self.wait_event("Browser.downloadWillBegin")
        self.wait_event("Browser.downloadProgress",
                        lambda p: p["guid"] == begun["guid"] and p["state"] == "completed")
        with open(os.path.join(folder, begun["suggestedFilename"]), "rb") as f:
            return f.read()

    def close(self):
        try:
            self.call("Browser.close")
            self.process.wait(30)
        except Exception:  # a browser that won't close is killed; the checks already ran
            self.process.kill()
            self.process.wait()
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)


PAGE_STATE = """(() => {
  const text = (id) => document.getElementById(id).textContent;
  const error = document.getElementById('error');
  return { score: text('score'), error: error.hidden ? '' : error.textContent,
           status: text('status'), shown: !document.getElementById('result').hidden,
           offered: ['transcript-download', 'answer-download'].filter(
               (id) => !document.getElementById(id).hidden),
           report: document.getElementById('report').innerHTML };
})()"""


def check_in_page(browser, input_path, output_path):
    """Picks both files, presses Check and returns the page's state once the check is over."""
    browser.pick("#input-file", input_path)
    browser.pick("#output-file", output_path)
    before = browser.evaluate("Number(document.body.dataset.checks || 0)")
    browser.evaluate("document.getElementById('check').click()")
    return finished_check(browser, before)


def drop_on_page(browser, paths):
    """Drags files onto the page and drops them, as from a file manager; returns the page's state
    once the check that a drop of both files starts is over."""
    before = browser.evaluate("Number(document.body.dataset.checks || 0)")
    data = {"items": [], "files": paths, "dragOperationsMask": 1}
    for kind in ("dragEnter", "dragOver", "drop"):
        browser.page("Input.dispatchDragEvent", type=kind, x=400, y=300, data=data)
    return finished_check(browser, before)


def finished_check(browser, before):
    browser.evaluate(f"""new Promise((done) => {{
      const poll = () => Number(document.body.dataset.checks || 0) > {before}
          ? done() : setTimeout(poll, 20);
      poll(); }})""")
    return browser.evaluate(PAGE_STATE)


def page_reveal(page):
    """The reveal level the page was built with: its build's cache says, else "all"."""
    cache = os.path.join(os.path.dirname(page), "..", "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache) as f:
            found = re.search(r"^HASH_CHECKER_WEB_REVEAL:STRING=(\w+)$", f.read(), re.M)
            if found:
                return found.group(1)
    return "all"


def native(binary, folder, input_name, output_name, reveal="all"):
    """The program on the same files: its transcript, answer file (None below "all", where the
    page writes none), report and exit status."""
    answer = "--answer-file=hash_answer.txt" if reveal == "all" else "--no-answer-file"
    run = subprocess.run([binary, "--explain", "--html=hash_report.html", f"--reveal={reveal}",
                          answer, "0", input_name, output_name],
                         cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, check=False)
    read = lambda name: open(os.path.join(folder, name), "rb").read()
    return (run.stdout, read("hash_answer.txt") if reveal == "all" else None,
            read("hash_report.html"), run.returncode)


def large_case(folder, binary):
    """A 10^6-slot case of 700,000 keys; the submission is the program's own answer with the
    double-hashing line spoiled, so one line is Wrong and explained."""
    import random
    rng = random.Random(23)
    keys = [str(rng.randrange(1, 2**31 - 1)) for _ in range(700000)]
    with open(os.path.join(folder, "large_input.txt"), "w") as f:
        f.write("1\n1000000 0 0\n" + " ".join(keys[:350000]) + "\n")
        f.write(" ".join(keys[350000:]) + "\n")
    subprocess.run([binary, "--answer-file=right.txt", "1", "large_input.txt", "none.txt"],
                   cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    with open(os.path.join(folder, "right.txt")) as f:
        lines = f.read().split("\n")
    spoiled = lines[2].split(" ")
    spoiled[0], spoiled[1] = spoiled[1], spoiled[0]
    lines[2] = " ".join(spoiled) if spoiled[0] != spoiled[1] else "1 " + lines[2]
    with open(os.path.join(folder, "large_output.txt"), "w") as f:
        f.write("\n".join(lines))


def slots_case(folder, binary, name, slots, keys):
    """A case of `slots` slots and `keys` keys, and as its submission the program's own answer
    with the first line spoiled."""
    import random
    rng = random.Random(slots)
    chosen = [str(rng.randrange(1, 2**31 - 1)) for _ in range(keys)]
    half = keys // 2
    with open(os.path.join(folder, name + "_input.txt"), "w") as f:
        f.write(f"1\n{slots} {half} {keys - half}\n" + " ".join(chosen[:half]) + "\n")
        f.write(" ".join(chosen[half:]) + "\n")
    subprocess.run([binary, f"--answer-file={name}_right.txt", "1", name + "_input.txt",
                    "none.txt"], cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   check=True)
    with open(os.path.join(folder, name + "_right.txt")) as f:
        lines = f.read().split("\n")
    lines[0] = "1 " + lines[0]
    with open(os.path.join(folder, name + "_output.txt"), "w") as f:
        f.write("\n".join(lines))


START_GAPS = """(() => {
  window.gapWatch = { last: performance.now(), longest: 0, statuses: new Set(), when: '' };
  window.gapWatch.timer = setInterval(() => {
    const now = performance.now();
    const status = document.getElementById('status').textContent;
    if (now - gapWatch.last > gapWatch.longest) {
      gapWatch.longest = now - gapWatch.last;
      gapWatch.when = status + (document.getElementById('report').childElementCount ? ' (report shown)' : '');
    }
    gapWatch.last = now;
    gapWatch.statuses.add(status.replace(/[0-9.]+ s$/, ''));
  }, 20);
})()"""
STOP_GAPS = """(() => {
  clearInterval(gapWatch.timer);
  return { longest: gapWatch.longest, when: gapWatch.when, statuses: [...gapWatch.statuses] };
})()"""


def check_responsive(browser, folder, binary):
    """A 10^7-slot case: a timer on the page keeps firing every 20 ms throughout the check, and
    the status line tells the case and line the check is at."""
    slots_case(folder, binary, "large7", 10**7, 10**6)
    # A second try, on a machine shared with other work: a page that freezes fails both by far.
    for _ in range(2):
        browser.evaluate(START_GAPS)
        state = check_in_page(browser, os.path.join(folder, "large7_input.txt"),
                              os.path.join(folder, "large7_output.txt"))
        watched = browser.evaluate(STOP_GAPS)
        if watched["longest"] < 200:
            break
    expect(state["error"] == "" and state["shown"], f"the 10^7-slot case: {state['error']!r}")
    expect(watched["longest"] < 200,
           f"the 10^7-slot case: the page's timer waited {watched['longest']:.0f} ms, until "
           f"the page said {watched['when']!r}")
    expect(any(s.startswith("Checking case 0 (1 of 1), line ") for s in watched["statuses"]),
           f"the 10^7-slot case: no progress by line in {sorted(watched['statuses'])}")
    memory = browser.evaluate("Number(document.body.dataset.memory)")
    print(f"10^7-slot case: longest timer gap {watched['longest']:.0f} ms (until the page said "
          f"{watched['when']!r}); the module grew to "
          f"{memory / 2**20:.0f} MB")


def expect_workers(browser, count, when):
    """The page starts the worker of its next check ahead, on opening and after each check, so
    the click pays for neither the worker nor its module; it also keeps the last check's worker.
    Waits a few seconds for `count` workers to be running."""
    workers = lambda: sum(t["type"] == "worker"
                          for t in browser.call("Target.getTargets")["targetInfos"])
    deadline = time.time() + 10
    while workers() != count and time.time() < deadline:
        time.sleep(0.1)
    expect(workers() == count, f"{when}: {workers()} workers running, not {count}")


def check_cancel(browser, folder):
    """Cancel ends a 10^7-slot check at once and leaves the page ready for the next."""
    browser.pick("#input-file", os.path.join(folder, "large7_input.txt"))
    browser.pick("#output-file", os.path.join(folder, "large7_output.txt"))
    before = browser.evaluate("Number(document.body.dataset.checks || 0)")
    browser.evaluate("document.getElementById('check').click()")
    browser.evaluate("""new Promise((done) => {
      const poll = () => document.getElementById('status').textContent.startsWith('Checking case')
          ? done() : setTimeout(poll, 20);
      poll(); })""")
    started = time.time()
    browser.evaluate("document.getElementById('cancel').click()")
    state = finished_check(browser, before)
    expect(time.time() - started < 2, "Cancel took more than 2 s")
    expect(state["status"].startswith("Check cancelled"), f"after Cancel: {state['status']!r}")
    expect(not state["shown"] and state["report"] == "", "a cancelled check showed a result")
    expect(browser.evaluate("document.getElementById('cancel').hidden"), "Cancel still shown")


def check_case_too_large(browser, folder, examples):
    """A 5*10^7-slot case the tab can't hold is a case not built, with the rest of the report."""
    with open(os.path.join(examples, "hash_input.txt")) as f:
        example = f.read().split("\n")
    count = int(example[0])
    write(folder, "huge_input.txt", "\n".join([str(count + 1)] + example[1:1 + 3 * count] +
                                              ["50000000 3 2", "1 2 3", "4 5"]) + "\n")
    with open(os.path.join(examples, "hash_output.txt")) as f:
        submitted = f.read().split("\n")[:3 * count]
    write(folder, "huge_output.txt", "\n".join(submitted + ["1 2 3"] * 3) + "\n")
    state = check_in_page(browser, os.path.join(folder, "huge_input.txt"),
                          os.path.join(folder, "huge_output.txt"))
    said = re.search(r"case (\d+) not built: the browser could not give it (\d+) MB",
                     state["report"])
    expect(said and int(said.group(1)) == count,
           f"the 5*10^7-slot case: no 'case {count} not built' in the report")
    expect(state["error"] == "" and "Aborted" not in state["report"] + state["status"],
           f"the 5*10^7-slot case: {state['error']!r}")
    verdicts = len(re.findall(r'class="verdict (?:right|wrong)"', state["report"]))
    expect(verdicts == 3 * count, f"the 5*10^7-slot case: {verdicts} verdicts for the others")


def check_empty_submission(browser, folder, reveal):
    """A student who picks an empty output file is offered no answer file below "all"."""
    write(folder, "empty.txt", "")
    state = check_in_page(browser, os.path.join(folder, "hash_input.txt"),
                          os.path.join(folder, "empty.txt"))
    want = ["transcript-download", "answer-download"] if reveal == "all" else []
    expect(state["offered"] == want, f"an empty output file: the page offers {state['offered']}")


def write(folder, name, text):
    with open(os.path.join(folder, name), "w") as f:
        f.write(text)


def cases(folder, examples, binary):
    """(what, input file, output file, error the page must show or None to match the program)."""
    shutil.copy(os.path.join(examples, "hash_input.txt"), folder)
    shutil.copy(os.path.join(examples, "hash_output.txt"), folder)
    with open(os.path.join(examples, "hash_output.txt")) as f:
        submitted = f.read().split("\n")
    write(folder, "missing_line.txt", "\n".join(submitted[:4] + submitted[5:]))
    write(folder, "bad_count.txt", "three\n7 3 2\n10 17 4\n24 3\n")
    large_case(folder, binary)
    return [
        ("the shipped example", "hash_input.txt", "hash_output.txt", None),
        ("an output file missing its fifth line", "hash_input.txt", "missing_line.txt", None),
        ("a 10^6-slot case", "large_input.txt", "large_output.txt", None),
        ("an input file whose first line is no count", "bad_count.txt", "hash_output.txt",
         'Input File bad_count.txt line 1: case count "three" has no leading number'),
    ]


def compare_with_program(browser, work, folder, binary, reveal, what, input_name, output_name):
    state = check_in_page(browser, os.path.join(folder, input_name),
                          os.path.join(folder, output_name))
    transcript, answer, report, status = native(binary, folder, input_name, output_name, reveal)
    summary = re.search(rb"Success/All: (\d+)/(\d+):\nScore: (\d+):", transcript)
    expect(summary, f"{what}: the program printed no score")
    expect(state["error"] == "", f"{what}: the page shows an error: {state['error']}")
    expect(state["score"] == summary.group(3).decode() + "%",
           f"{what}: score {state['score']!r}, the program's is {summary.group(3).decode()}")
    # The exit status is the teacher's word: a student's page says how the cases went instead.
    if reveal == "all":
        expect(f"(exit status {status})" in state["status"],
               f"{what}: {state['status']!r}, the program ended with {status}")
    else:
        expect("exit status" not in state["status"] + state["report"],
               f"{what}: a student's page gives the exit status: {state['status']!r}")
    # Below "all" the transcript and the answer file, which hold the expected layouts, are kept
    # back and only the report is compared.
    shown = [("report", "report-download", report)]
    if reveal == "all":
        shown += [("transcript", "transcript-download", transcript),
                  ("answer file", "answer-download", answer)]
    offered = ["transcript-download", "answer-download"] if reveal == "all" else []
    expect(state["offered"] == offered, f"{what}: the page offers {state['offered']}")
    for name, link, want in shown:
        got = browser.download(link, os.path.join(work, f"{name} of {what}"))
        expect(got == want, f"{what}: the page's {name} differs from the program's")
    if reveal == "score":
        return state
    verdicts = len(re.findall(r'class="verdict (?:right|wrong)"', state["report"]))
    expect(verdicts == int(summary.group(2)),
           f"{what}: #report shows {verdicts} verdicts for {summary.group(2).decode()} lines")
    return state


def screenshot(browser, path):
    """Leaves a picture of the page as it stands, 1280 pixels wide, to look at."""
    browser.page("Emulation.setDeviceMetricsOverride", width=1280, height=1400,
                 deviceScaleFactor=1, mobile=False)
    shot = browser.page("Page.captureScreenshot", format="png")
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def run_checks(page, binary, work, examples):
    reveal = page_reveal(page)
    folder = os.path.join(work, "files")
    os.makedirs(folder)
    net_log = os.path.join(work, "netlog.json")
    browser = Browser(work, net_log)
    try:
        # The control: a page that asks for an image on another host must show in the log.
        write(work, "control.html", f'<!DOCTYPE html><img src="{CONTROL_URL}">\n')
        browser.open("file://" + os.path.join(work, "control.html"))
        browser.open("file://" + page)
        expect_workers(browser, 1, "the page just opened")
        for what, input_name, output_name, error in cases(folder, examples, binary):
            if error is None:
                compare_with_program(browser, work, folder, binary, reveal, what, input_name,
                                     output_name)
                if input_name == "hash_input.txt" and output_name == "hash_output.txt":
                    screenshot(browser, os.path.join(work, "page.png"))
                    # The same two files dropped, output first, on pickers holding them the
                    # wrong way round: each must find its own picker.
                    browser.pick("#input-file", os.path.join(folder, output_name))
                    browser.pick("#output-file", os.path.join(folder, input_name))
                    state = drop_on_page(browser, [os.path.join(folder, output_name),
                                                   os.path.join(folder, input_name)])
                    expect(state["score"] == "66%" and state["error"] == "",
                           f"the example dropped: {state['score']!r} {state['error']!r}")
                continue
            state = check_in_page(browser, os.path.join(folder, input_name),
                                  os.path.join(folder, output_name))
            expect_workers(browser, 2, what)
            expect(state["error"] == error, f"{what}: #error reads {state['error']!r}")
            expect(not state["shown"] and state["report"] == "", f"{what}: a score was shown")
        check_empty_submission(browser, folder, reveal)
        check_responsive(browser, folder, binary)
        check_cancel(browser, folder)
        check_case_too_large(browser, folder, examples)
        # A file that is gone by the time Check is pressed can't be read.
        shutil.copy(os.path.join(folder, "hash_input.txt"), os.path.join(folder, "gone.txt"))
        browser.pick("#input-file", os.path.join(folder, "gone.txt"))
        os.remove(os.path.join(folder, "gone.txt"))
        state = check_in_page(browser, os.path.join(folder, "gone.txt"),
                              os.path.join(folder, "hash_output.txt"))
        expect(state["error"].startswith("Input File gone.txt can't be read"),
               f"a vanished input file: #error reads {state['error']!r}")
    finally:
        browser.close()
    requests = page_requests(net_log)
    expect(CONTROL_URL in requests, "the net log shows no request of the control page")
    others = [url for url in requests if url != CONTROL_URL]
    expect(not others, f"the page made requests: {others}")


def page_requests(net_log):
    """URLs that a page asked for: Chromium's own requests carry no page origin."""
    with open(net_log) as f:
        log = json.load(f)
    names = {number: name for name, number in log["constants"]["logEventTypes"].items()}
    return [e["params"]["url"] for e in log["events"]
            if names.get(e["type"]) == "URL_REQUEST_START_JOB" and "url" in e.get("params", {})
            and e["params"].get("initiator") != "not an origin"
            and not e["params"]["url"].startswith("file:")]


def bench(page, binary, work):
    """Times the page on the 10^6-slot case five times, each beside the program on the same files
    at the page's reveal level, and prints both medians and their ratio. Between runs it waits
    as a student does while picking files: the page starts the next check's worker meanwhile."""
    folder = os.path.join(work, "files")
    os.makedirs(folder)
    large_case(folder, binary)
    reveal = page_reveal(page)
    browser = Browser(work, os.path.join(work, "netlog.json"))
    in_page, natively = [], []
    try:
        browser.open("file://" + page)
        for run in range(5):
            started = time.time()
            native(binary, folder, "large_input.txt", "large_output.txt", reveal)
            natively.append(time.time() - started)
            time.sleep(2)
            started = time.time()
            state = check_in_page(browser, os.path.join(folder, "large_input.txt"),
                                  os.path.join(folder, "large_output.txt"))
            in_page.append(time.time() - started)
            print(f"10^6-slot case, run {run + 1}: {in_page[-1]:.2f} s from the click to "
                  f"the report shown (the program: {natively[-1]:.2f} s); the page says: "
                  f"{state['status']}; score {state['score']}")
    finally:
        browser.close()
    page_median, native_median = sorted(in_page)[2], sorted(natively)[2]
    print(f"medians: the page {page_median:.2f} s, the program {native_median:.2f} s "
          f"(--explain --html --reveal={reveal}): {page_median / native_median:.1f}x")
    print(f"page size: {os.path.getsize(page) / 1e6:.2f} MB ({os.path.getsize(page)} bytes)")


def missing_piece(page):
    """Why the checks can't run here, or None."""
    if shutil.which("chromium") is None:
        return "chromium is missing; install the Debian package chromium"
    if websocket is None:
        return "python3-websocket is missing; install the Debian package python3-websocket"
    if not os.path.exists(page):
        how = "cmake --preset web && cmake --build --preset web"
        if shutil.which("emcc") is None:
            return f"{page} is not built; install the Debian package emscripten, then {how}"
        return f"{page} is not built; build it with {how}"
    return None


def main():
    args = sys.argv[1:]
    benching = args[:1] == ["--bench"]
    page, binary, work = [os.path.abspath(a) for a in (args[1:4] if benching else args[:3])]
    missing = missing_piece(page)
    if missing:
        required = os.environ.get("HASH_CHECKER_WEB_REQUIRED") == "1"
        print(("FAIL: " if required else "skipped: ") + missing)
        sys.exit(1 if required else 77)
    examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        if benching:
            bench(page, binary, work)
        else:
            run_checks(page, binary, work, examples)
            print(f"(the page reveals {page_reveal(page)})")
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        sys.exit(1)
    if not benching:
        print("ok: the example, a missing line and a 10^6-slot case as the program grades them; "
              "a bad first line and a vanished file in #error; a 10^7-slot case with the page "
              "responsive, Cancel, a case too large for the tab not built; no request")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Every kind of page the checker writes, run through axe-core 4.14 in headless Chromium at the
WCAG 2.1 A and AA rules: the single report at each reveal level (with its step-through), a class's
index.html and a submission's page, and the browser page before and after a check. Also: every
step-through reached by keyboard alone, each verdict said in words as well as colour, and the
browser page's #error naming files picked the wrong way round.

Usage: axe_test.py BINARY WEB_PAGE WORK_DIR EXAMPLES_DIR

Exits 77 (skipped), naming the package, when axe-core (npm: axe-core@4.14, which .ci/run
installs; or AXE_CORE_JS naming its axe.min.js), chromium or python3-websocket is missing; the
browser page is left out, saying so, when it was not built (cmake --preset web), unless
HASH_CHECKER_WEB_REQUIRED=1.
"""
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_page_test  # noqa: E402  (the DevTools client the browser page's test drives)

AXE_PLACES = ["/usr/local/lib/hash_checker-axe/node_modules/axe-core/axe.min.js"]
TAGS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"]
LEVELS = ["all", "diagnosis", "verdict", "score"]
SKIPPED = 77


def axe_source():
    places = [os.environ["AXE_CORE_JS"]] if os.environ.get("AXE_CORE_JS") else AXE_PLACES
    for path in places:
        if os.path.exists(path):
            with open(os.path.join(os.path.dirname(path), "package.json")) as f:
                version = json.load(f)["version"]
            if not version.startswith("4.14."):
                print(f"axe-core {version} at {path} is not 4.14; install the npm package "
                      "axe-core@4.14")
                sys.exit(1)
            with open(path, encoding="utf-8") as f:
                return f.read()
    print("skipped: axe-core missing; install the npm package axe-core@4.14 (.ci/run does), or "
          "set AXE_CORE_JS to its axe.min.js")
    sys.exit(SKIPPED)


def run(binary, folder, arguments):
    subprocess.run([binary, *arguments], cwd=folder, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


def written_pages(binary, work, examples):
    """Every page kind the program writes, from the shipped class: file name -> what it is."""
    shutil.copytree(os.path.join(examples, "class"), os.path.join(work, "class"))
    pages = {}
    for level in LEVELS:
        name = f"report_{level}.html"
        run(binary, work, ["0", "class/hash_input.txt", "class/bob.txt", "--no-answer-file",
                           f"--html={name}", f"--reveal={level}"])
        pages[name] = f"the report at reveal level {level}"
    run(binary, work, ["--gradebook=grades.csv", "--no-answer-file", "--html-dir=pages",
                       "class/hash_input.txt", "class/alice.txt", "class/bob.txt",
                       "class/carol.txt", "class/late/"])
    pages["pages/index.html"] = "the class index"
    pages["pages/bob.txt.html"] = "a submission's page"
    for name in pages:
        web_page_test.expect(os.path.exists(os.path.join(work, name)), f"{name} was not written")
    return pages


AXE_RUN = """axe.run(document, {runOnly: {type: 'tag', values: %s}, resultTypes: ['violations']})
  .then((r) => r.violations.map((v) => ({id: v.id, help: v.help,
      nodes: v.nodes.slice(0, 3).map((n) => n.target.join(' '))})))""" % json.dumps(TAGS)

# Every step-through reached with Tab alone: its table, which scrolls when wider than the page,
# takes the focus, so the keyboard can scroll it.
KEYBOARD = """(() => {
  const walks = [...document.querySelectorAll('[data-build]')];
  const missed = walks.filter((w) => ![...w.querySelectorAll('.rows')].every(
      (rows) => rows.tabIndex >= 0)).map((w) => w.dataset.build);
  return {walks: walks.length, missed};
})()"""

# Verdicts never by colour alone: every element a verdict colours holds the verdict's word or a
# text alternative.
VERDICT_WORDS = """(() => [...document.querySelectorAll('.right, .wrong, [data-verdict]')]
  .filter((el) => !/right|wrong|not graded|✓|✗/i.test(
      (el.textContent || '') + ' ' + (el.getAttribute('aria-label') || '') + ' ' +
      (el.getAttribute('title') || '')))
  .map((el) => el.outerHTML.slice(0, 120)))()"""


def violations_of(browser, source, url, what, extra=None):
    browser.open(url)
    if extra:
        extra()
    browser.evaluate(source + "\n;true")
    found = browser.evaluate(AXE_RUN)
    problems = [f"{what}: {v['id']} ({v['help']}) at {', '.join(v['nodes'])}" for v in found]
    keyboard = browser.evaluate(KEYBOARD)
    problems += [f"{what}: the step-through of {b} can't be reached by keyboard"
                 for b in keyboard["missed"]]
    problems += [f"{what}: a verdict by colour alone: {html}"
                 for html in browser.evaluate(VERDICT_WORDS)]
    return problems, keyboard["walks"]


def browser_page_problems(browser, source, page, examples):
    """The browser page as it opens, and once it has checked the shipped class's bob.txt."""
    url = "file://" + page

    def check():
        browser.page("Page.setBypassCSP", enabled=True)
        web_page_test.check_in_page(browser, os.path.join(examples, "class", "hash_input.txt"),
                                    os.path.join(examples, "class", "bob.txt"))

    problems, _ = violations_of(browser, source, url, "the browser page",
                                lambda: browser.page("Page.setBypassCSP", enabled=True))
    more, _ = violations_of(browser, source, url, "the browser page after a check", check)
    # Files picked the wrong way round: the page says so where it shows a failure.
    swapped = web_page_test.check_in_page(browser, os.path.join(examples, "class", "bob.txt"),
                                          os.path.join(examples, "class", "hash_input.txt"))
    hint = "first line holds 7 numbers: is it an output file? The input file comes first."
    if hint not in swapped["error"]:
        more.append(f"the browser page's #error lacks the swapped-files hint: {swapped['error']!r}")
    return problems + more


def main():
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[-6])
        return 2
    binary, web_page, work, examples = (os.path.abspath(a) for a in sys.argv[1:])
    source = axe_source()
    if shutil.which("chromium") is None:
        print("skipped: chromium is missing; install the Debian package chromium")
        return SKIPPED
    if web_page_test.websocket is None:
        print("skipped: the websocket module is missing; install the Debian package "
              "python3-websocket")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    work = os.path.abspath(work)
    problems = []
    checked = 0
    browser = web_page_test.Browser(work, os.path.join(work, "net.json"))
    try:
        browser.page("Page.setBypassCSP", enabled=True)  # axe is injected, not part of the page
        # The control page breaks two rules: a check that finds nothing there proves nothing.
        control = os.path.join(work, "control.html")
        with open(control, "w") as f:
            f.write('<!DOCTYPE html><html><body><img src="x.png"><table><tr><td>1</td></tr>'
                    '</table><p style="color:#bbb">faint</p></body></html>')
        found, _ = violations_of(browser, source, "file://" + control, "control")
        if not any("image-alt" in p for p in found) or not any("color-contrast" in p
                                                                for p in found):
            problems.append(f"axe-core did not find the control page's faults: {found}")
        walks = 0
        checked = 0
        for name, what in written_pages(binary, work, examples).items():
            found, count = violations_of(browser, source, "file://" + os.path.join(work, name),
                                         what)
            problems += found
            walks += count
            checked += 1
        if walks == 0:
            problems.append("no page held a step-through: the keyboard check saw nothing")
        if os.path.exists(web_page):
            problems += browser_page_problems(browser, source, os.path.abspath(web_page),
                                              examples)
            checked += 2
        elif os.environ.get("HASH_CHECKER_WEB_REQUIRED") == "1":
            problems.append(f"the browser page {web_page} was not built")
        else:
            print(f"the browser page was not checked: {web_page} was not built "
                  "(cmake --preset web)")
    except web_page_test.Failure as failure:
        problems.append(str(failure))
    finally:
        browser.close()
    for problem in problems:
        print(problem)
    print(f"axe_test: {checked} pages checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

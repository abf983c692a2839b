#!/usr/bin/env python3
"""Reveal levels end to end: nothing of the answer key in a student's reports.

Runs the program at every --reveal level, once on a single submission with all six reports, once
with --vpl (its console is the student's), and once as a class with --report-dir and --html-dir, and searches every file a student may be handed
for each expected layout of a Wrong line and each key the answer puts in a slot the student got
wrong. At "all" each must be found (proof that the search sees them); below it none may be.
Also: at "mistake", "verdict" and "score" no key of the case at all, at "score" no line; the class's own
index.html and class.json the same at every level; and the reports valid for check_reports.py.

Usage: reveal_test.py HASH_CHECKER CHECK_REPORTS SCHEMA
"""

import os
import re
import subprocess
import sys
import tempfile

# Case 0: every line Wrong, and none of the keys its wrong slots should hold (1015, 1022, 1030)
# appears in the submission. Case 1: a Right line, a short one and one missing its last key.
INPUT = ("2\n"
         "7 4 3\n1001 2002 3003 4004\n1015 1022 1030\n"
         "7 4 3\n1234 2345 3456 4567\n5678 6789 7890\n")
SUBMISSION = ("1001 2002 3003 4004 0 0 0\n"
              "1001 2002 3003 4004 0 0 0\n"
              "1001 0 0 2002 3003 4004 0\n"
              "2345 5678 1234 4567 7890 3456 6789\n"
              "2345 5678\n"
              "2345 5678 1234 4567 7890 3456\n")
LEVELS = ["all", "diagnosis", "mistake", "verdict", "score"]
# What a teacher keeps: answer files, the class's CSV, index and summary.
TEACHER_FILES = {"ans.txt", "class_ans.txt", "grades.csv", "index.html", "class.json"}


def key_lines(text):
    return [[int(token) for token in line.split()] for line in text.splitlines()]


def secrets(answer_text):
    """The layouts of Wrong lines and the keys of their wrong slots, leaving out any that the
    submission itself holds (a student's own keys may be shown back)."""
    expected = key_lines(answer_text)
    submitted = key_lines(SUBMISSION)
    own_keys = {k for line in submitted for k in line}
    layouts, keys = [], set()
    for want, got in zip(expected, submitted):
        if want == got:
            continue
        if want not in submitted:
            layouts.append(want)
        for slot, k in enumerate(want):
            if k != 0 and k not in own_keys and (slot >= len(got) or got[slot] != k):
                keys.add(k)
    return layouts, keys


def case_keys():
    return {k for line in key_lines(INPUT)[1:] for k in line if k >= 1000}


def tokens(path, wanted):
    """The numbers in the file that are keys of the case, in order: a layout drawn as table
    cells, a JSON array or a line of text reads the same."""
    with open(path, encoding="utf-8") as file:
        text = file.read()
    return [int(t) for t in re.findall(r"\d+", text) if int(t) in wanted]


def holds(sequence, part):
    return any(sequence[i:i + len(part)] == part for i in range(len(sequence) - len(part) + 1))


def run(binary, directory, arguments):
    result = subprocess.run([binary] + arguments, cwd=directory, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise RuntimeError(f"{arguments} ended with {result.returncode}: {result.stderr!r}")
    return result.stdout.decode("utf-8")


def write(path, text):
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def produce(binary, directory, level):
    os.makedirs(os.path.join(directory, "class"))
    write(os.path.join(directory, "in.txt"), INPUT)
    write(os.path.join(directory, "out.txt"), SUBMISSION)
    for name in ("alice.txt", "bob.txt"):
        write(os.path.join(directory, "class", name), SUBMISSION)
    reveal = f"--reveal={level}"
    run(binary, directory, ["0", "in.txt", "out.txt", "--answer-file=ans.txt", "--json=r.json",
                            "--gradescope=g.json", "--junit=j.xml", "--html=r.html",
                            "--github-classroom=gh.json", "--prairielearn=pl.json", reveal])
    vpl = run(binary, directory, ["0", "in.txt", "out.txt", "--no-answer-file", "--vpl", reveal])
    write(os.path.join(directory, "vpl.txt"), vpl)
    run(binary, directory, ["--gradebook=grades.csv", "--report-dir=reports", "--html-dir=pages",
                            "--answer-file=class_ans.txt", reveal, "in.txt", "class/alice.txt",
                            "class/bob.txt"])


def student_files(directory):
    found = []
    for root, _, names in os.walk(directory):
        for name in names:
            if root.endswith("class") or name in TEACHER_FILES or name in ("in.txt", "out.txt"):
                continue
            found.append(os.path.join(root, name))
    return sorted(found)


def check_level(directory, level, layouts, keys):
    problems = []
    files = student_files(directory)
    if len(files) < 11:  # six reports, VPL's console, a JSON report and a page per submission
        problems.append(f"{level}: only {len(files)} reports written: {files}")
    everything = case_keys()
    for path in files:
        seen = tokens(path, everything)
        name = os.path.relpath(path, directory)
        for layout in layouts:
            if holds(seen, layout) != (level == "all"):
                problems.append(f"{level}: {name}: layout {layout} found: {holds(seen, layout)}")
        for k in sorted(keys):
            if (k in seen) != (level == "all"):
                problems.append(f"{level}: {name}: expected key {k} found: {k in seen}")
        if level in ("mistake", "verdict", "score") and seen:
            problems.append(f"{level}: {name}: shows keys {sorted(set(seen))}")
        with open(path, encoding="utf-8") as file:
            text = file.read().lower()
        if level == "score" and ("probing" in text or "hashing" in text):
            problems.append(f"{level}: {name}: shows a line")
    return problems


def check_formats(check_reports, schema, directory, level):
    json_reports = [os.path.join(directory, "r.json")]
    reports = os.path.join(directory, "reports")
    json_reports += [os.path.join(reports, n) for n in sorted(os.listdir(reports))
                     if n != "class.json"]
    arguments = [sys.executable, check_reports, "--schema", schema,
                 "--gradescope", os.path.join(directory, "g.json"),
                 "--junit", os.path.join(directory, "j.xml"),
                 "--github-classroom", os.path.join(directory, "gh.json"),
                 "--prairielearn", os.path.join(directory, "pl.json")]
    for path in json_reports:
        arguments += ["--json", path]
    result = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, check=False)
    if result.returncode == 77:
        print(f"reveal_test: formats not checked: {result.stdout.strip()}")
        return []
    return [] if result.returncode == 0 else [f"{level}: {result.stdout.strip()}"]


def read(path):
    with open(path, "rb") as file:
        return file.read()


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip().splitlines()[-1])
        return 2
    binary, check_reports, schema = sys.argv[1:]
    problems = []
    with tempfile.TemporaryDirectory() as root:
        class_views = {}
        layouts, keys = [], set()
        for level in LEVELS:
            directory = os.path.join(root, level)
            produce(binary, directory, level)
            if level == "all":
                with open(os.path.join(directory, "ans.txt"), encoding="utf-8") as file:
                    layouts, keys = secrets(file.read())
                if len(layouts) < 3 or len(keys) < 3:
                    problems.append(f"the case hides too little: {layouts} {keys}")
            problems += check_level(directory, level, layouts, keys)
            problems += check_formats(check_reports, schema, directory, level)
            class_views[level] = (read(os.path.join(directory, "pages", "index.html")),
                                  read(os.path.join(directory, "reports", "class.json")))
        for level in LEVELS[1:]:
            if class_views[level] != class_views["all"]:
                problems.append(f"{level}: the class's index.html or class.json changed")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

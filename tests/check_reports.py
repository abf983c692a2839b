#!/usr/bin/env python3
"""Validates hash_checker's reports as their readers would take them.

JSON reports: parsed with json and validated against the schema (Draft 2020-12).
Gradescope results: parsed, and the fields and types Gradescope needs checked.
JUnit files: well-formed for xmllint, and the counts on each testsuite equal to what it holds.
GitHub Classroom results: the fields the grading reporter reads, and scores within max_score.
PrairieLearn results.json: under 1 MB, score in [0, 1], and each test's points within its most.

Exits 0 when every file passes, 1 when one fails, 2 on bad usage, and 77 when jsonschema
(Debian: python3-jsonschema) or xmllint (Debian: libxml2-utils) is missing.
"""

import argparse
import json
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

SKIPPED = 77


def require_tools(need_xmllint):
    try:
        import jsonschema  # noqa: F401  (imported here only to learn whether it is there)
    except ImportError:
        print("check_reports: jsonschema missing; install the package python3-jsonschema")
        sys.exit(SKIPPED)
    if need_xmllint and shutil.which("xmllint") is None:
        print("check_reports: xmllint missing; install the package libxml2-utils")
        sys.exit(SKIPPED)


def load_json(path):
    # Reports must be UTF-8 whatever bytes the paths and tokens held.
    with open(path, "rb") as file:
        return json.loads(file.read().decode("utf-8"))


def check_json(path, validator):
    report = load_json(path)
    problems = [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                for e in validator.iter_errors(report)]
    # At reveal level "score" the totals stand alone: no case is listed.
    if not problems and "rows" in report:  # class.json
        for listed, counted in (("case_strategies", "cases"), ("rows", "submissions")):
            if len(report[listed]) != report[counted]:
                problems.append(f"{counted} is {report[counted]} but {listed} holds "
                                f"{len(report[listed])}")
        return problems
    if not problems and report["mode"] != "audit":
        listed = report["cases"] if report.get("reveal") != "score" else 0
        if listed != len(report["results"]):
            problems.append(f"cases is {report['cases']} but results holds "
                            f"{len(report['results'])}")
    return problems


def number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def check_gradescope_test(index, test):
    problems = []
    for field, kind in (("name", str), ("output", str), ("status", str), ("visibility", str)):
        if not isinstance(test.get(field), kind):
            problems.append(f"tests/{index}: {field} missing or not a {kind.__name__}")
    for field in ("score", "max_score"):
        if not number(test.get(field)):
            problems.append(f"tests/{index}: {field} missing or not a number")
    if test.get("status") not in ("passed", "failed"):
        problems.append(f"tests/{index}: status {test.get('status')!r}")
    if test.get("visibility") not in ("visible", "hidden", "after_due_date", "after_published"):
        problems.append(f"tests/{index}: visibility {test.get('visibility')!r}")
    return problems


def check_gradescope(path):
    results = load_json(path)
    problems = []
    for field in ("score", "max_score"):
        if not number(results.get(field)):
            problems.append(f"{field} missing or not a number")
    if not isinstance(results.get("output"), str):
        problems.append("output missing or not a string")
    tests = results.get("tests")
    if not isinstance(tests, list):
        return problems + ["tests missing or not an array"]
    for index, test in enumerate(tests):
        problems += check_gradescope_test(index, test)
    if not tests:  # the totals alone (--reveal=score): nothing to add up
        return problems
    if not problems and sum(t["score"] for t in tests) != results["score"]:
        problems.append("the tests' scores don't add up to score")
    if not problems and sum(t["max_score"] for t in tests) != results["max_score"]:
        problems.append("the tests' max_scores don't add up to max_score")
    return problems


def wrong_fields(where, record, fields):
    return [f"{where}{field} missing or not a {' or '.join(k.__name__ for k in kinds)}"
            for field, kinds in fields
            if not isinstance(record.get(field), kinds) or isinstance(record.get(field), bool)
            and bool not in kinds]


NUMBER = (int, float)


def check_github_classroom(path):
    results = load_json(path)
    problems = wrong_fields("", results, (("version", (int,)), ("status", (str,)),
                                          ("max_score", NUMBER), ("tests", (list,))))
    if problems:
        return problems
    if results["version"] != 1 or results["status"] not in ("pass", "fail", "error"):
        problems.append(f"version {results['version']!r} or status {results['status']!r}")
    test_fields = (("name", (str,)), ("status", (str,)), ("score", NUMBER), ("message", (str,)),
                   ("test_code", (str,)), ("filename", (str,)), ("line_no", (int,)),
                   ("duration", NUMBER))
    for index, test in enumerate(results["tests"]):
        problems += wrong_fields(f"tests/{index}: ", test, test_fields)
        if test.get("status") not in ("pass", "fail", "error"):
            problems.append(f"tests/{index}: status {test.get('status')!r}")
    if problems:
        return problems
    total = sum(test["score"] for test in results["tests"])
    if total > results["max_score"] + 1e-9:
        problems.append(f"the tests' scores add up to {total}, above max_score")
    if results["status"] == "pass" and results["tests"] and abs(total - results["max_score"]) > 1e-9:
        problems.append("a run that passed scores below max_score")
    return problems


def check_prairielearn(path):
    with open(path, "rb") as file:
        size = len(file.read())
    results = load_json(path)
    problems = [] if size < 1_000_000 else [f"{size} bytes: PrairieLearn takes under 1 MB"]
    problems += wrong_fields("", results, (("gradable", (bool,)), ("score", NUMBER),
                                           ("message", (str,)), ("output", (str,)),
                                           ("tests", (list,))))
    if problems:
        return problems
    if not 0 <= results["score"] <= 1:
        problems.append(f"score {results['score']} outside [0, 1]")
    test_fields = (("name", (str,)), ("description", (str,)), ("points", NUMBER),
                   ("max_points", NUMBER), ("message", (str,)), ("output", (str,)))
    for index, test in enumerate(results["tests"]):
        problems += wrong_fields(f"tests/{index}: ", test, test_fields)
        if not problems and not 0 <= test["points"] <= test["max_points"]:
            problems.append(f"tests/{index}: points {test['points']} outside [0, max_points]")
    if problems or not results["tests"]:
        return problems
    most = sum(test["max_points"] for test in results["tests"])
    share = sum(test["points"] for test in results["tests"]) / most if most else 0
    if abs(share - results["score"]) > 0.01:
        problems.append(f"score {results['score']} but the tests give {share:.4f}")
    return problems


def check_suite_counts(suite):
    cases = suite.findall("testcase")
    held = {
        "tests": len(cases),
        "failures": sum(len(c.findall("failure")) for c in cases),
        "errors": sum(len(c.findall("error")) for c in cases),
        "skipped": sum(len(c.findall("skipped")) for c in cases),
    }
    name = suite.get("name")
    return [f"testsuite {name}: {attribute}=\"{suite.get(attribute)}\" but it holds {count}"
            for attribute, count in held.items() if suite.get(attribute) != str(count)]


def check_junit(path):
    lint = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
    if lint.returncode != 0:
        return ["xmllint: " + lint.stderr.strip()]
    root = ElementTree.parse(path).getroot()
    if root.tag != "testsuites":
        return [f"root element is {root.tag}, not testsuites"]
    suites = root.findall("testsuite")
    if not suites:
        return ["no testsuite"]
    problems = []
    for suite in suites:
        problems += check_suite_counts(suite)
        for case in suite.findall("testcase"):
            if case.get("classname") is None or case.get("name") is None:
                problems.append("a testcase lacks classname or name")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--schema", required=True, help="docs/report.schema.json")
    parser.add_argument("--json", action="append", default=[], metavar="F")
    parser.add_argument("--gradescope", action="append", default=[], metavar="F")
    parser.add_argument("--junit", action="append", default=[], metavar="F")
    parser.add_argument("--github-classroom", action="append", default=[], metavar="F")
    parser.add_argument("--prairielearn", action="append", default=[], metavar="F")
    args = parser.parse_args()
    require_tools(bool(args.junit))
    import jsonschema

    with open(args.schema, encoding="utf-8") as file:
        schema = json.load(file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    checks = ([(path, lambda p: check_json(p, validator)) for path in args.json] +
              [(path, check_gradescope) for path in args.gradescope] +
              [(path, check_junit) for path in args.junit] +
              [(path, check_github_classroom) for path in args.github_classroom] +
              [(path, check_prairielearn) for path in args.prairielearn])
    failed = 0
    for path, check in checks:
        try:
            problems = check(path)
        except (OSError, UnicodeDecodeError, ValueError, ElementTree.ParseError) as error:
            problems = [str(error)]
        for problem in problems:
            print(f"{path}: {problem}")
        failed += bool(problems)
    print(f"check_reports: {len(checks) - failed} of {len(checks)} files pass")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes the page: its template with the compiled module inlined and a Content-Security-Policy
that allows exactly the page's own inline scripts.

Usage: seal_page.py TEMPLATE_HTML MODULE_JS PAGE_HTML

The template holds the module's place as {{{ SCRIPT }}} and the policy's script sources as the
placeholder 'script-hashes'; each inline script of the page (the module and the glue) is hashed
into the policy, so a script that did not come with the page, such as an event attribute slipped
into a report, can't run. A page that would load a script from anywhere is refused.
"""
import base64
import hashlib
import re
import sys

PLACEHOLDER = "'script-hashes'"
MODULE = "{{{ SCRIPT }}}"


def refuse(why):
    sys.exit(f"seal_page.py: {why}")


def main():
    template, module, target = sys.argv[1:4]
    with open(template, encoding="utf-8") as f:
        page = f.read()
    with open(module, encoding="utf-8") as f:
        code = f.read()
    if page.count(PLACEHOLDER) != 1 or page.count(MODULE) != 1:
        refuse(f"{template} needs one {PLACEHOLDER} and one {MODULE}")
    if "</script" in code.lower():
        refuse(f"{module} would end its script element early")
    page = page.replace(MODULE, "<script>" + code + "</script>")
    if re.search(r"<script[^>]*\bsrc\s*=", page, re.IGNORECASE):
        refuse("a script is loaded from outside the page")
    scripts = re.findall(r"<script>(.*?)</script>", page, re.DOTALL)
    if len(scripts) != len(re.findall(r"<script", page, re.IGNORECASE)):
        refuse("a script element with attributes")
    hashes = " ".join(
        "'sha256-" + base64.b64encode(hashlib.sha256(s.encode("utf-8")).digest()).decode() + "'"
        for s in scripts)
    with open(target, "w", encoding="utf-8") as f:
        f.write(page.replace(PLACEHOLDER, hashes))


if __name__ == "__main__":
    main()

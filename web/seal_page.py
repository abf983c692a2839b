#!/usr/bin/env python3
"""Writes the page: its template with the compiled module and its worker glue inlined as the
source of the page's Web Worker, and a Content-Security-Policy that allows exactly the page's own
inline script and that worker.

Usage: seal_page.py TEMPLATE_HTML MODULE_JS WORKER_JS PAGE_HTML

The template holds the worker's place as {{{ SCRIPT }}} and the policy's script sources as the
placeholder 'script-hashes'. The module and the worker glue become one element of type
text/plain, id "checker-source", that the browser never runs: the page's script makes the worker
from its text through a blob: address, the one worker source the policy allows. Each inline
script of the page is hashed into the policy, so a script that did not come with the page, such
as an event attribute slipped into a report, can't run. A page that would load a script from
anywhere is refused.
"""
import base64
import hashlib
import re
import sys

PLACEHOLDER = "'script-hashes'"
MODULE = "{{{ SCRIPT }}}"
SOURCE_START = '<script type="text/plain" id="checker-source">'


def refuse(why):
    sys.exit(f"seal_page.py: {why}")


def main():
    template, module, worker, target = sys.argv[1:5]
    with open(template, encoding="utf-8") as f:
        page = f.read()
    code = ""
    for path in (module, worker):
        with open(path, encoding="utf-8") as f:
            code += f.read() + "\n"
    if page.count(PLACEHOLDER) != 1 or page.count(MODULE) != 1:
        refuse(f"{template} needs one {PLACEHOLDER} and one {MODULE}")
    # Inside a script element, "</script" ends it and "<!--" or "<script" change how the rest
    # is read: the worker's source must hold none of them.
    for marker in ("</script", "<!--", "<script"):
        if marker in code.lower():
            refuse(f"the worker's source holds {marker!r}")
    page = page.replace(MODULE, SOURCE_START + code + "</script>")
    if re.search(r"<script[^>]*\bsrc\s*=", page, re.IGNORECASE):
        refuse("a script is loaded from outside the page")
    scripts = re.findall(r"<script>(.*?)</script>", page, re.DOTALL)
    if len(scripts) + 1 != len(re.findall(r"<script", page, re.IGNORECASE)):
        refuse("a script element with attributes")
    hashes = " ".join(
        "'sha256-" + base64.b64encode(hashlib.sha256(s.encode("utf-8")).digest()).decode() + "'"
        for s in scripts)
    with open(target, "w", encoding="utf-8") as f:
        f.write(page.replace(PLACEHOLDER, hashes))


if __name__ == "__main__":
    main()

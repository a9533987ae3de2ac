#!/usr/bin/env python3
"""The findings table of docs/starter-check.md, made from lint/findings.inc,
where each finding is one row: its code, level, help, and when it is raised
and why its level follows.

    findings_table.py           writes the table into the page
    findings_table.py --check   exits 1 when the page's table is not the rows'
"""
import ast
import os
import re
import sys

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
PAGE = os.path.join(SOURCE, "docs", "starter-check.md")
HEAD = "| Code | Level | When | Why this level |\n|---|---|---|---|\n"


def rows():
    """(name, level, help, when, why) for each FINDING row, in order."""
    with open(os.path.join(SOURCE, "lint", "findings.inc"), encoding="utf-8") as f:
        source = f.read()
    text = r'((?:"(?:[^"\\]|\\.)*"\s*)+)'
    found = re.findall(r"^FINDING\(k\w+, " + text + r", k(\w+),\s*" + ",\s*".join([text] * 3) +
                       r"\)", source, re.M)
    # Adjacent C string literals with \" and \\ read as Python's do.
    read = lambda literal: ast.literal_eval("(" + literal.strip() + ")")
    return [(read(name), level.lower(), read(help), read(when), read(why))
            for name, level, help, when, why in found]


def table():
    return HEAD + "".join(f"| `{name}` | {level} | {when} | {why} |\n"
                          for name, level, _, when, why in rows())


def page_with_table(page):
    start = page.index(HEAD)
    end = page.index("\n\n", start) + 1
    return page[:start] + table() + page[end:]


def main():
    with open(PAGE, encoding="utf-8") as f:
        page = f.read()
    made = page_with_table(page)
    if "--check" in sys.argv[1:]:
        return 0 if made == page else 1
    with open(PAGE, "w", encoding="utf-8") as f:
        f.write(made)
    return 0


if __name__ == "__main__":
    sys.exit(main())

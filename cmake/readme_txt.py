"""Writes README.txt, the operator's guide in the release: the operators'
pages of docs/, whole and in order, as Notepad shows them well. Each table
becomes a list of its rows, each cell on lines of its own under its column's
name, so that no line is longer than 100 characters; UTF-8 with a
byte-order mark, and CR LF line ends.

    python3 readme_txt.py SOURCE OUT
"""

import sys
import textwrap

PAGES = ("install", "launch-list", "starter-check", "fleet", "troubleshooting")
WIDTH = 100


def cells(row):
    """The cells of a table row, a "\\|" inside a cell kept as "|"."""
    parts, cell, escaped = [], "", False
    for c in row.strip().strip("|"):
        if escaped:
            cell += c
            escaped = False
        elif c == "\\":
            escaped = True
            cell += c
        elif c == "|":
            parts.append(cell.strip())
            cell = ""
        else:
            cell += c
    parts.append(cell.strip())
    return [p.replace("\\|", "|") for p in parts]


def table(lines):
    """A table's rows as a list: the first cell after a dash, the others
    under their column's name."""
    header = cells(lines[0])
    out = []
    for row in lines[2:]:
        values = cells(row)
        out += textwrap.wrap(values[0], WIDTH, initial_indent="- ", subsequent_indent="  ")
        for name, value in zip(header[1:], values[1:]):
            if value:
                out += textwrap.wrap(f"{name}: {value}", WIDTH, initial_indent="  ",
                                     subsequent_indent="    ", break_on_hyphens=False)
    return out


def render(text):
    lines, out, i, code = text.split("\n"), [], 0, False
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            code = not code
        if not code and line.startswith("|") and i + 1 < len(lines) and \
                lines[i + 1].startswith("|---"):
            end = i
            while end < len(lines) and lines[end].startswith("|"):
                end += 1
            out += table(lines[i:end])
            i = end
            continue
        out.append(line)
        i += 1
    return "\n".join(out)


def main():
    source, out = sys.argv[1:]
    guide = "\n".join(render(open(f"{source}/docs/{page}.md", encoding="utf-8").read())
                      for page in PAGES)
    with open(out, "wb") as f:
        f.write(b"\xef\xbb\xbf" + guide.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()

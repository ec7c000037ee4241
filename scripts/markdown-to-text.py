#!/usr/bin/env python3
"""Renders a Markdown page as plain text, for a reader without a browser.

    markdown-to-text.py PAGE.md > PAGE.txt

The release makes the zip's README.txt with it from docs/AUTHORS.md. It
knows the Markdown those pages use, no more: headings (underlined: = for
the first level, - for the second, ~ below), paragraphs (wrapped at 76
columns), lists (kept, with hanging indents), fenced code blocks (kept as
they are, indented), tables (columns lined up, cells wrapped to fit),
code spans, links, emphasis and backslash escapes (the marks taken out:
a link becomes its text, a web link its text and address, and a word in
italics stands in quotes). The few signs
written for a browser (the line ends shown as a sign, the blank, the
ellipsis, U+FFFD) are written out in ASCII. Lines end in LF alone; the
caller chooses the line ends of the file it writes.
"""
import itertools
import re
import sys
import textwrap

WIDTH = 76
SIGNS = {"\u240d\u240a": "<CR><LF>", "\u2420": "<blank>", "\u2026": "...", "\ufffd": "<U+FFFD>"}

CODE_SPAN = re.compile(r"(`+)(.+?)\1")
LINK = re.compile(r"\[([^\]]*)\]\(([^)\s]*)\)")
AUTOLINK = re.compile(r"<(https?://[^>\s]+)>")
STRONG = re.compile(r"\*\*(?=\S)(.+?)(?<=\S)\*\*")
EMPHASIS = re.compile(r"(?<![\w*\\])\*(?=\S)(.+?)(?<=[^\s\\])\*(?![\w*])")
ESCAPE = re.compile(r"\\([!-/:-@\[-`{-~])")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
LIST_ITEM = re.compile(r"^(\s*)([-*+]|\d+[.)])\s+(.*)$")
FENCE = re.compile(r"^(\s*)(```+|~~~+)")
TABLE_RULE = re.compile(r"^\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?$")


def signs(text):
    for sign, words in SIGNS.items():
        text = text.replace(sign, words)
    return text


def inline(text):
    """The text of a line of Markdown, without its marks."""
    spans = []

    def keep(match):
        code = match.group(2)
        if code.startswith(" ") and code.endswith(" ") and code.strip():
            code = code[1:-1]
        spans.append(code)
        return f"\0{len(spans) - 1}\0"

    text = CODE_SPAN.sub(keep, text)

    def link(match):
        words, address = inline_marks(match.group(1)), match.group(2)
        if re.match(r"https?://", address) and address != words:
            return f"{words} ({address})"
        return words

    text = LINK.sub(link, text)
    text = AUTOLINK.sub(r"\1", text)
    text = inline_marks(text)
    text = re.sub("\0(\\d+)\0", lambda m: spans[int(m.group(1))], text)
    return signs(text)


def inline_marks(text):
    text = STRONG.sub(r"\1", text)
    text = EMPHASIS.sub(r'"\1"', text)
    return ESCAPE.sub(r"\1", text)


def table_cells(line):
    line = line.strip()
    if line.startswith("|"):
        line = line[1:]
    if line.endswith("|") and not line.endswith("\\|"):
        line = line[:-1]
    # A | in a cell is written \|, also inside a code span.
    return [inline(cell.replace("\\|", "|").strip()) for cell in re.split(r"(?<!\\)\|", line)]


def table(lines, indent):
    rows = [table_cells(line) for line in lines if not TABLE_RULE.match(line.strip())]
    columns = max(len(row) for row in rows)
    rows = [row + [""] * (columns - len(row)) for row in rows]
    widths = [max(len(row[c]) for row in rows) for c in range(columns)]
    shortest = [max([len(word) for row in rows for word in row[c].split()] + [1]) for c in range(columns)]
    room = WIDTH - indent - 2 * (columns - 1)
    while sum(widths) > room:
        narrower = [c for c in range(columns) if widths[c] > shortest[c]]
        if not narrower:
            break
        widths[max(narrower, key=lambda c: widths[c])] -= 1
    wrapped = [[textwrap.wrap(cell, widths[c], break_long_words=False, break_on_hyphens=False) or [""]
                for c, cell in enumerate(row)] for row in rows]
    spaced = any(len(cell) > 1 for row in wrapped for cell in row)
    out = []
    for number, row in enumerate(wrapped):
        if number > 1 and spaced:
            out.append("")
        for pieces in itertools.zip_longest(*row, fillvalue=""):
            out.append((" " * indent + "  ".join(p.ljust(w) for p, w in zip(pieces, widths))).rstrip())
        if number == 0:
            out.append(" " * indent + "  ".join("-" * w for w in widths))
    return out


def render(lines):
    out = []
    paragraph = []  # [first line's indent, the others' indent, its lines...]

    def blank(count=1):
        if out:
            trailing = len(out) - len(list(itertools.dropwhile(lambda l: l == "", reversed(out))))
            out.extend([""] * (count - trailing))

    def flush():  # a paragraph's marks may run from one line to the next
        if paragraph:
            first, rest, *text = paragraph
            out.extend(textwrap.wrap(inline(" ".join(text)), WIDTH, initial_indent=first, subsequent_indent=rest,
                                     break_long_words=False, break_on_hyphens=False))
            paragraph.clear()

    def indent_of(source):  # text indented in a list item goes with the item
        return 0 if source == 0 else source + 2

    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\n").rstrip()
        i += 1
        stripped = line.lstrip(" ")
        source = len(line) - len(stripped)
        fence = FENCE.match(line)
        if fence:
            flush()
            blank()
            indent = " " * (indent_of(source) + 4)
            while i < len(lines) and not lines[i].strip().startswith(fence.group(2)):
                code = lines[i].rstrip("\n").rstrip()
                code = code[min(source, len(code) - len(code.lstrip(" "))):]
                out.append(signs(indent + code) if code else "")
                i += 1
            i += 1  # the closing fence
            blank()
            continue
        heading = HEADING.match(line)
        if heading and source == 0:
            flush()
            level, text = len(heading.group(1)), inline(heading.group(2))
            blank(2 if level <= 2 else 1)
            out.extend([text, {1: "=", 2: "-"}.get(level, "~") * len(text), ""])
            continue
        if stripped.startswith("|") and source == 0:
            flush()
            rows = [line]
            while i < len(lines) and lines[i].strip().startswith("|"):
                rows.append(lines[i].rstrip("\n"))
                i += 1
            out.extend(table(rows, 2))
            continue
        if not stripped:
            flush()
            blank()
            continue
        item = LIST_ITEM.match(line)
        if item:
            flush()
            marker = item.group(2) if item.group(2)[0].isdigit() else "-"
            first = " " * (source + 2) + marker + " "
            paragraph.extend([first, " " * len(first), item.group(3)])
            continue
        if paragraph:
            paragraph.append(stripped)
        else:
            paragraph.extend([" " * indent_of(source)] * 2 + [stripped])
    flush()
    while out and out[-1] == "":
        out.pop()
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: markdown-to-text.py PAGE.md")
    with open(sys.argv[1], encoding="utf-8") as page:
        lines = page.readlines()
    sys.stdout.reconfigure(encoding="utf-8", newline="\n")
    for line in render(lines):
        print(line)


if __name__ == "__main__":
    main()

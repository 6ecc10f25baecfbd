#!/usr/bin/env python3
"""Checks the relative links of the documentation: every link in README.md, docs/*.md and
python/README.md that is not a web address must name a file of the repository, and a link with a
#fragment a heading of that file (by the anchors that GitHub gives headings)."""
import pathlib
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")


def anchors(path):
    """The anchors of a Markdown file's headings, outside code blocks: lower case, punctuation
    dropped, spaces as hyphens, a repeated one numbered."""
    seen, found, fenced = {}, set(), False
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.startswith("```"):
            fenced = not fenced
            continue
        match = None if fenced else HEADING.match(line)
        if not match:
            continue
        anchor = re.sub(r"[^\w\- ]", "", match.group(1).lower()).replace(" ", "-")
        count = seen.get(anchor, 0)
        seen[anchor] = count + 1
        found.add(anchor if count == 0 else f"{anchor}-{count}")
    return found


def broken_links(root):
    pages = [root / "README.md", root / "python" / "README.md", *sorted((root / "docs").glob("*.md"))]
    for page in pages:
        text = re.sub(r"```.*?```", "", page.read_text(encoding="utf-8"), flags=re.S)
        for target in LINK.findall(text):
            if re.match(r"^[a-z]+:", target):
                continue  # a web address or mail link
            name, _, fragment = target.partition("#")
            file = (page.parent / name).resolve() if name else page
            if not file.is_file():
                yield f"{page.relative_to(root)}: {target}: no file {name}"
            elif fragment and file.suffix == ".md" and fragment not in anchors(file):
                yield f"{page.relative_to(root)}: {target}: no heading #{fragment} in {name or page.name}"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    broken = list(broken_links(root))
    for line in broken:
        print(line)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())

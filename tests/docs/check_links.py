#!/usr/bin/env python3
"""Checks that every relative link in the README and docs/ reaches a file, and every #anchor a
heading of that file, so that moving a section cannot leave a dead link behind.

    check_links.py REPO_ROOT
"""
import glob
import os
import re
import sys


def anchors(path):
    """The anchors a Markdown renderer makes from the file's headings (outside code blocks)."""
    found, fenced = set(), False
    with open(path, encoding="utf-8") as text:
        for line in text:
            if line.startswith("```"):
                fenced = not fenced
            elif not fenced and line.startswith("#"):
                title = line.lstrip("#").strip().lower()
                found.add(re.sub(r"[^\w\- ]", "", title).replace(" ", "-"))
    return found


def dead_links(root):
    pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    for page in pages:
        with open(page, encoding="utf-8") as text:
            body = re.sub(r"```.*?```", "", text.read(), flags=re.S)
        for link in re.findall(r"\]\(([^)\s]+)\)", body):
            if re.match(r"[a-z]+:", link):
                continue
            path, _, anchor = link.partition("#")
            target = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(target):
                yield f"{os.path.relpath(page, root)}: {link}: no such file"
            elif anchor and target.endswith(".md") and anchor not in anchors(target):
                yield f"{os.path.relpath(page, root)}: {link}: no such heading"


if __name__ == "__main__":
    dead = list(dead_links(sys.argv[1]))
    for line in dead:
        print(line, file=sys.stderr)
    sys.exit(1 if dead else 0)

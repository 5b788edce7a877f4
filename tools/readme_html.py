#!/usr/bin/env python3
"""Turns the README into the HTML page that the program's Website item and
the about box's link open: readme_html.py README.md OUT.html"""
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Quorvane</title>
<style>
body {{ font-family: sans-serif; max-width: 46em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }}
pre {{ background: #f4f4f4; padding: .6em; overflow-x: auto; }}
table {{ border-collapse: collapse; }}
td, th {{ border: 1px solid #ccc; padding: .2em .5em; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def main():
    src, out = sys.argv[1], sys.argv[2]
    with open(src, encoding="utf-8") as f:
        body = markdown.markdown(f.read(), extensions=["tables"])
    with open(out, "w", encoding="utf-8") as f:
        f.write(PAGE.format(body=body))


if __name__ == "__main__":
    main()

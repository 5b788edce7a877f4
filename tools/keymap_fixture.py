#!/usr/bin/env python3
"""Writes the key table's test input for one layout from the keymap an X
server compiles for it: one line per keycode, "keycode NAME level1 level2"
(keysyms in hex, 0 for none).

usage: DISPLAY=:N keymap_fixture.py LAYOUT > tests/fixtures/keymaps/LAYOUT.txt
The display's keymap is replaced (setxkbmap -rules evdev -model pc105)."""
import re
import subprocess
import sys

HEADERS = [("/usr/include/X11/keysymdef.h", "XK_", ""), ("/usr/include/X11/XF86keysym.h", "XF86XK_", "XF86")]


def keysyms():
    out = {}
    for path, prefix, name in HEADERS:
        for line in open(path, encoding="latin-1"):
            m = re.match(r"#define " + prefix + r"(\w+)\s+0x([0-9a-fA-F]+)", line)
            if m:
                out.setdefault(name + m.group(1), int(m.group(2), 16))
    return out


def value(name, table):
    if name in table:
        return table[name]
    if re.fullmatch(r"U[0-9A-Fa-f]{4,6}", name):
        code = int(name[1:], 16)
        return code if code < 0x100 else 0x1000000 + code
    if re.fullmatch(r"0x[0-9A-Fa-f]+", name):
        return int(name, 16)
    return 0  # NoSymbol, VoidSymbol and vendor keysyms the header lacks


def main():
    layout = sys.argv[1]
    subprocess.run(["setxkbmap", "-rules", "evdev", "-model", "pc105", "-layout", layout], check=True)
    text = subprocess.run(["xkbcomp", "-xkb", subprocess.os.environ["DISPLAY"], "-"],
                          capture_output=True, text=True, check=True).stdout
    codes = {m.group(1): int(m.group(2)) for m in re.finditer(r"^\s*<(\w+)>\s*=\s*(\d+);", text, re.M)}
    table = keysyms()
    rows = {}
    for m in re.finditer(r"key\s+<(\w+)>\s*\{(.*?)\};", text, re.S):
        body = m.group(2)
        g = re.search(r"symbols\[Group1\]\s*=\s*\[([^\]]*)\]", body) or re.search(r"\[([^\]]*)\]", body)
        if not g or m.group(1) not in codes:
            continue
        syms = [s.strip() for s in g.group(1).split(",")]
        rows[codes[m.group(1)]] = (m.group(1), [value(s, table) for s in syms[:2]] + [0, 0])
    for name, kc in sorted(codes.items(), key=lambda p: p[1]):
        if kc > 255:
            continue
        n, syms = rows.get(kc, (name, [0, 0]))
        print(f"{kc} {name} {syms[0]:x} {syms[1]:x}")


if __name__ == "__main__":
    main()

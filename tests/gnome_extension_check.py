#!/usr/bin/env python3
"""The GNOME Shell pointer extension's two forms, checked where no GNOME
Shell 45 or later runs (only 43 runs here, and loads only the older form):
each parses as what its Shell loads it as (node: the 45-on form as a module,
the 43-44 form as a script), and the two say the same on the bus, the name,
path and interface the program asks (platform/wayland/pointer_gnome.cpp),
with metadata that covers GNOME 43 to 50 once each.

usage: gnome_extension_check.py SOURCE_DIR   (exit 0 when all agree)"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

MODULE, LEGACY = "pointer@quorvane.example", "pointer-legacy@quorvane.example"


def fail(what):
    print(f"gnome extension: {what}")
    sys.exit(1)


def parses(path, suffix):
    """node --check of a copy named so that node reads it as a module (.mjs)
    or as a script (.cjs)."""
    with tempfile.TemporaryDirectory() as d:
        copy = os.path.join(d, "extension" + suffix)
        shutil.copy(path, copy)
        r = subprocess.run(["node", "--check", copy], capture_output=True, text=True)
        return r.returncode == 0, r.stderr.strip()


def constant(text, name):
    m = re.search(r"\b" + name + r"\s*=\s*(['\"`])(.*?)\1;", text, re.S)
    return m.group(2) if m else None


def interface(xml):
    """{member: [(kind, type, direction)]} of the one interface."""
    node = ET.fromstring(xml)
    iface = node.find("interface")
    out = {"name": iface.get("name")}
    for m in iface:
        out[f"{m.tag} {m.get('name')}"] = [(a.get("type"), a.get("direction", "out"))
                                           for a in m.findall("arg")]
    return out


def main():
    src = sys.argv[1]
    base = os.path.join(src, "resources", "gnome-shell")
    if not shutil.which("node"):
        fail("node is not installed (scripts/deps installs nodejs)")
    texts, versions = {}, {}
    for uuid, suffix in ((MODULE, ".mjs"), (LEGACY, ".cjs")):
        js = os.path.join(base, uuid, "extension.js")
        ok, err = parses(js, suffix)
        if not ok:
            fail(f"{uuid} does not parse as a {'module' if suffix == '.mjs' else 'script'}: {err}")
        texts[uuid] = open(js).read()
        meta = json.load(open(os.path.join(base, uuid, "metadata.json")))
        if meta.get("uuid") != uuid:
            fail(f"{uuid}: metadata names {meta.get('uuid')}")
        versions[uuid] = [int(v) for v in meta.get("shell-version", [])]
    module, legacy = texts[MODULE], texts[LEGACY]
    # What each Shell looks for: 45 on imports a default export that extends
    # Extension; 43 and 44 call init() and have no import statements.
    if not re.search(r"^export default class \w+ extends Extension\b", module, re.M) or \
            "from 'resource:///org/gnome/shell/extensions/extension.js'" not in module:
        fail(f"{MODULE} is not a default-exported Extension")
    if not re.search(r"^function init\(\)", legacy, re.M) or re.search(r"^(import|export) ",
                                                                         legacy, re.M):
        fail(f"{LEGACY} is not in the init() form")
    for text, uuid in ((module, MODULE), (legacy, LEGACY)):
        for method in ("enable()", "disable()", "GetPosition()"):
            if method not in text:
                fail(f"{uuid} has no {method}")
    program = open(os.path.join(src, "platform", "wayland", "pointer_gnome.cpp")).read()
    asked = {k: re.search(k + r' = "([^"]+)"', program).group(1) for k in ("kName", "kPath", "kIface")}
    for key, js in (("kName", "BUS_NAME"), ("kPath", "OBJECT_PATH")):
        if not constant(module, js) == constant(legacy, js) == asked[key]:
            fail(f"{js}: {constant(module, js)} / {constant(legacy, js)}, the program asks {asked[key]}")
    ifaces = [interface(constant(t, "IFACE")) for t in (module, legacy)]
    want = {"name": asked["kIface"], "method GetPosition": [("i", "out"), ("i", "out")],
            "signal Moved": [("i", "out"), ("i", "out")]}
    if ifaces[0] != ifaces[1] or ifaces[0] != want:
        fail(f"the interfaces differ: {ifaces}, the program reads {want}")
    if "'Moved'" not in module or "'Moved'" not in legacy:
        fail("a form does not send Moved")
    covered = sorted(versions[MODULE] + versions[LEGACY])
    if covered != list(range(43, 51)) or min(versions[MODULE]) != 45:
        fail(f"shell versions: {versions}")
    print("gnome extension: both forms parse and agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())

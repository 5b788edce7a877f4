"""Files and the install: a bad recording's box, the command line's answers,
the settings file (a rate chosen in the menu kept there), the Wayland notice
remembered there, and an installed program run by an ordinary user."""
import os
import shutil
import subprocess
import time

import xtools as X
from common import *  # noqa: F401,F403  the shared session, checks and steps


def test_bad_file_box(s):
    path, box = bad_file_box(s, "not a rec.rec")
    close_box(path, box)
    time.sleep(0.2)
    check(s.proc.poll() is None, "the program stays after the box")
    check(X.geometry(s.toolbar)["state"] == "IsViewable", f"the toolbar stays ({X.windows()})")
    check(s.close_program() == 0, "exit code 0")


USAGE = "usage: quorvane [--rate R] [--max-pause SECONDS] [--repeat N | --continuous] [--fast] FILE.rec"


def test_command_line_answers(s):
    """--help lists the options, with or without a display; a bad option or
    value is told on stderr with exit code 2 and no window; a file named like
    an option still plays."""
    no_display = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    for env in (None, no_display):
        r = subprocess.run([s.exe, "--help"], capture_output=True, text=True, timeout=10, env=env)
        check(r.returncode == 0 and r.stdout.startswith(USAGE), f"--help: {r.returncode} {r.stdout!r}")
        for o in ("--rate R", "--max-pause SECONDS", "--repeat N", "--continuous", "--fast"):
            check(f"  {o} " in r.stdout, f"--help lists {o}")
    rec = short_recording(s)
    bad = {("--rate", "20", rec): "--rate takes a rate from 0.1 to 10, not \"20\"",
           ("--bogus", rec): "unknown option \"--bogus\"",
           ("--repeat", "2", "--continuous", rec): "--repeat and --continuous cannot be given together",
           ("--max-pause",): "--max-pause needs a value",
           ("--fast",): "name the recording to play"}
    for args, why in bad.items():
        r = subprocess.run([s.exe, *args], capture_output=True, text=True, timeout=10, cwd=s.dir)
        check(r.returncode == 2, f"{args}: exit code {r.returncode}, not 2")
        check(r.stderr.startswith(f"quorvane: {why}"), f"{args}: {r.stderr!r}")
        check(X.find_window("Quorvane", 0.2) is None, f"{args}: no window")
    odd = os.path.join(s.dir, "--odd.rec")
    shutil.copy(rec, odd)
    s.start_target()
    mark = len(s.events())
    s.start_program("--odd.rec", wait_title=None)
    check(X.wait_until(lambda: len(s.events(mark)) >= 4, 5), "the file named like an option plays")
    s.toolbar = X.wait_until(lambda: X.find_window("--odd.rec", 0.1), 5)
    check(s.toolbar, "idle again, named after the file")
    check(s.close_program() == 0, "exit code 0")


def _menu_checks(s):
    """Opens the options menu and finds its check marks: the centres of the
    dark runs in the strip left of the item texts, in menu pixels from the
    top. The menu is closed again."""
    before = {w for w, t in X.windows()}
    tx, ty = s.toolbar_origin()
    X.click(tx + 110 + 8, ty + 13)

    def menu_shown():
        for w, t in X.windows():
            g = X.geometry(w) if w not in before else None
            if g and g["state"] == "IsViewable" and g["h"] > 200:
                return g
        return None
    g = X.wait_until(menu_shown, 3)
    check(g, "the options menu opens")
    time.sleep(0.3)
    crop = f"26x{g['h']}+{g['x']}+{g['y']}"
    data = subprocess.run(["import", "-window", "root", "-crop", crop, "-depth", "8", "ppm:-"],
                          capture_output=True, check=True).stdout
    parts = data.split(maxsplit=4)
    w, h, raw = int(parts[1]), int(parts[2]), parts[4]
    dark = [sum(1 for x in range(2, w) if sum(raw[(y * w + x) * 3:(y * w + x) * 3 + 3]) < 300) >= 2
            for y in range(h)]
    # One mark is a box with a tick in it: dark runs a few pixels apart.
    runs, start = [], None
    for y, d in enumerate(dark + [False]):
        if d and start is None:
            start = y
        elif not d and start is not None:
            if runs and start - runs[-1][1] <= 6:
                runs[-1][1] = y - 1
            else:
                runs.append([start, y - 1])
            start = None
    marks = [(a + b) // 2 for a, b in runs]
    X.xdo("key", "Escape")
    check(X.wait_until(lambda: menu_shown() is None, 3), "the menu closes")
    return marks


def test_rate_chosen_in_menu_is_checked_and_kept(s):
    """rate=200 in the settings file: the menu checks 2x. Choosing 4x there
    moves that check one item down, and 4x is what the file holds after."""
    ini = os.path.join(s.dir, "quorvane.ini")
    open(ini, "w").write("[Quorvane]\nrate=200\n")
    s.start_program()
    X.xdo("mousemove", 5, 5)
    first = _menu_checks(s)
    # Normal speed, the rate, remember settings and tips.
    check(len(first) == 4, f"four check marks: {first}")
    menu_key(s, "4")
    then = _menu_checks(s)
    check(len(then) == 4, f"four check marks: {then}")
    moved = [(a, b) for a, b in zip(first, then) if a != b]
    check(len(moved) == 1 and moved[0] == (first[1], then[1]) and 15 <= then[1] - first[1] <= 40,
          f"the rate's check one item down: {first} -> {then}")
    check(s.close_program() == 0, "exit code 0")
    text = open(ini).read()
    check("rate=400" in text and "max_pause=0" in text, f"the chosen rate is kept: {text!r}")
    # Another rate and a pause limit typed into their boxes, each opening
    # with the value in force, selected, so typing replaces it.
    s.start_program()
    X.xdo("mousemove", 5, 5)
    for key, title, typed in (("o", "Playback Rate", "1.5"), ("l", "Longest Pause", "0.5")):
        menu_key(s, key)
        check(X.find_window(title), f"the box {title!r} opens")
        time.sleep(0.3)
        X.xdo("type", "--delay", "20", typed)
        X.xdo("key", "Return")
        check(X.wait_until(lambda: X.find_window(title, 0.1) is None, 3), f"the box {title!r} closes")
    check(s.close_program() == 0, "exit code 0")
    text = open(ini).read()
    check("rate=150" in text and "max_pause=500" in text, f"the typed values are kept: {text!r}")


def test_remember_settings(s):
    ini = os.path.join(s.dir, "quorvane.ini")
    s.start_program()
    # The saved place is the whole window's, frame and caption strip included.
    g = X.geometry(s.toolbar)
    origin = (g["x"], g["y"])
    toggle_remember(s)
    check(s.close_program() == 0, "exit code 0")
    check(os.path.exists(ini), "settings file written at close")
    text = open(ini).read()
    keys = [line.split("=")[0].strip() for line in text.splitlines() if "=" in line]
    check(keys == ["window_x", "window_y", "tips", "speed", "record_key", "play_key", "rate", "max_pause"],
          f"the eight keys in order: {keys}")
    check("[Quorvane]" in text, "section Quorvane")
    vals = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    check(vals["tips"].strip() == "1" and vals["speed"].strip() == "0", f"values: {vals}")
    check(vals["rate"].strip() == "100" and vals["max_pause"].strip() == "0", f"values: {vals}")
    check((int(vals["window_x"]), int(vals["window_y"])) == origin, f"the window's place {origin}: {vals}")
    # Next start: the file turns the flag on; switching it off deletes it.
    s.start_program()
    toggle_remember(s)
    check(s.close_program() == 0, "exit code 0")
    check(not os.path.exists(ini), "settings file deleted at close when the flag is off")


def test_wayland_notice_once(s):
    """A session that says it is Wayland gets the notice once; remembered in
    the settings file, it is not shown again; plain X11 never shows it."""
    ini = os.path.join(s.dir, "quorvane.ini")
    plain = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE")}

    def named_quorvane():
        return [w for w, t in X.windows() if t == "Quorvane" and (X.geometry(w) or {}).get("state") == "IsViewable"]

    def run(env, notice):
        s.env = env
        s.start_program(wait_title=None)
        if notice:
            check(X.wait_until(lambda: len(named_quorvane()) == 2, 5), f"the notice shows: {X.windows()}")
            wins = named_quorvane()
            s.toolbar = next(w for w in wins if (X.geometry(w)["w"], X.geometry(w)["h"]) == TOOLBAR_SIZE)
            box = next(w for w in wins if w != s.toolbar)
            time.sleep(0.3)
            X.screenshot(os.path.join(s.dir, "notice.png"))
            X.xdo("windowfocus", "--sync", box)
            X.xdo("key", "Return")
            check(X.wait_until(lambda: len(named_quorvane()) == 1, 3), "the notice closes on Enter")
        else:
            check(X.wait_until(lambda: named_quorvane(), 5), "the toolbar appears")
            time.sleep(1.0)
            check(len(named_quorvane()) == 1, f"no notice: {X.windows()}")
            s.toolbar = named_quorvane()[0]
        check(s.close_program() == 0, "exit code 0")
        return open(ini).read() if os.path.exists(ini) else ""

    open(ini, "w").close()  # settings kept
    check("wayland_notice" not in run(plain, False), "plain X11 writes no wayland_notice")
    wayland = dict(plain, WAYLAND_DISPLAY="wayland-qv-none")
    check("wayland_notice=1" in run(wayland, True), "the notice is remembered")
    check("wayland_notice=1" in run(wayland, False), "and stays remembered")
    open(ini, "w").close()
    run(dict(plain, XDG_SESSION_TYPE="wayland"), True)


USER_UID = 65534  # nobody: an ordinary user who owns nothing of the install


def _installed_as_user(s):
    """A read-only install (root's, as a package leaves it) under s.dir/usr,
    its documentation, and a scratch home owned by the ordinary user, whose
    desktop opens HTML pages with a logging handler."""
    os.chmod(s.dir, 0o755)
    prefix = os.path.join(s.dir, "usr")
    os.makedirs(os.path.join(prefix, "bin"))
    exe = os.path.join(prefix, "bin", "quorvane")
    shutil.copy(s.exe, exe)
    os.chmod(exe, 0o755)
    doc = os.path.join(prefix, "share", "doc", "quorvane")
    os.makedirs(doc)
    open(os.path.join(doc, "README.html"), "w").write("<html><h1>Quorvane</h1></html>")
    home = os.path.join(s.dir, "home")
    apps = os.path.join(home, ".local", "share", "applications")
    os.makedirs(apps)
    opened = os.path.join(home, "opened.txt")
    handler = os.path.join(home, "qv-page")
    open(handler, "w").write(f'#!/bin/sh\necho "$1" > {opened}\n')
    os.chmod(handler, 0o755)
    open(os.path.join(apps, "qv-page.desktop"), "w").write(
        f"[Desktop Entry]\nType=Application\nName=Page\nExec={handler} %u\nMimeType=text/html;\n")
    os.makedirs(os.path.join(home, ".config"))
    open(os.path.join(home, ".config", "mimeapps.list"), "w").write(
        "[Default Applications]\ntext/html=qv-page.desktop\n")
    for root, dirs, files in os.walk(home):
        for n in dirs + files + [""]:
            os.chown(os.path.join(root, n), USER_UID, USER_UID)
    os.chmod(home, 0o700)
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    # No session bus for this user: GTK keeps its own settings in memory.
    env.update(HOME=home, USER="nobody", LOGNAME="nobody", NO_AT_BRIDGE="1",
               GSETTINGS_BACKEND="memory")
    return prefix, exe, home, opened, env


def _start_as_user(s, env, exe, *args, wait_title="Quorvane"):
    if wait_title:
        X.xdo("mousemove", 5, 5)
    s.err = open(os.path.join(s.dir, "stderr.txt"), "a")
    s.proc = X.start(["setpriv", f"--reuid={USER_UID}", f"--regid={USER_UID}", "--clear-groups",
                      "--", exe] + list(args), cwd=env["HOME"], env=env, stderr=s.err)
    if wait_title:
        s.toolbar = X.find_window(wait_title, 10)
        check(s.toolbar, f"toolbar titled {wait_title!r} appears")
        # A new user's first start builds its font cache: the window may be
        # named before it is shown.
        check(X.wait_until(lambda: (X.geometry(s.toolbar) or {}).get("state") == "IsViewable", 5),
              "the toolbar shows")
        time.sleep(0.3)
    return s.proc


def _mode(path):
    return os.stat(path).st_mode & 0o777


def test_installed_program_as_ordinary_user(s):
    """An installed program run by a user who cannot write its folder: the
    settings live in ~/.config/quorvane, are read back and removed with the
    option; the Website item opens the installed page; recordings, players
    and the settings file are the user's alone, and a compiled copy keeps its
    settings by the same rule under its own name."""
    prefix, exe, home, opened, env = _installed_as_user(s)
    bindir = os.path.dirname(exe)
    ini = os.path.join(home, ".config", "quorvane", "quorvane.ini")
    _start_as_user(s, env, exe)
    menu_key(s, "w")
    page = os.path.join(prefix, "share", "doc", "quorvane", "README.html")
    check(X.wait_until(lambda: os.path.exists(opened), 5), "the Website item opens a page")
    got = open(opened).read().strip()
    # GIO hands a local file to a handler as its path.
    check(got in (page, "file://" + page), f"the installed documentation opens: {got!r}")
    toggle_remember(s)
    # Somewhere else than the centred default, so reading it back shows.
    X.xdo("windowmove", "--sync", s.toolbar, 300, 250)
    time.sleep(0.3)
    g = X.geometry(s.toolbar)
    place = (g["x"], g["y"])
    check(s.close_program() == 0, "exit code 0")
    check(os.path.exists(ini), "settings written into the user's config folder")
    check(os.listdir(bindir) == ["quorvane"], f"nothing beside the program: {os.listdir(bindir)}")
    st = os.stat(ini)
    check(st.st_uid == USER_UID and _mode(ini) == 0o600, f"the user's own file, 0600: {oct(_mode(ini))}")
    check(_mode(os.path.dirname(ini)) == 0o700, "its folder 0700")
    vals = dict(line.split("=", 1) for line in open(ini).read().splitlines() if "=" in line)
    check((int(vals["window_x"]), int(vals["window_y"])) == place, f"the place {place}: {vals}")

    # Read back: the window comes up where it was left.
    _start_as_user(s, env, exe)
    g = X.geometry(s.toolbar)
    check((g["x"], g["y"]) == place, f"started again at {place}: {(g['x'], g['y'])}")
    toggle_remember(s)
    check(s.close_program() == 0, "exit code 0")
    check(not os.path.exists(ini), "turning the option off removes the file")

    # A real Save and a real Compile, as that user.
    rec = short_recording(s)
    os.chmod(rec, 0o644)
    s.start_target()
    _start_as_user(s, env, exe, rec, wait_title=None)
    check(X.wait_until(lambda: len(s.events()) >= 4, 5), "the recording plays at start")
    s.toolbar = X.find_window("short.rec")
    check(s.toolbar, "idle again, named after the recording")
    X.xdo("mousemove", 5, 5)
    saved = os.path.join(home, "new.rec")
    save_to(s, saved)
    check(X.wait_until(lambda: os.path.exists(saved), 3), "Save writes the file")
    check(_mode(saved) == 0o600, f"a new recording is 0600: {oct(_mode(saved))}")
    kept = os.path.join(home, "kept.rec")
    open(kept, "wb").write(b"old")
    os.chown(kept, USER_UID, USER_UID)
    os.chmod(kept, 0o640)
    save_to(s, kept, replace=True)
    check(X.wait_until(lambda: os.path.getsize(kept) == 80, 3), "Save replaces the file")
    check(_mode(kept) == 0o640, f"a replaced file keeps its mode: {oct(_mode(kept))}")
    player = os.path.join(home, "player")
    compile_to(s, player)
    check(os.path.exists(player) and _mode(player) == 0o700, f"a new player is 0700")
    check(s.close_program() == 0, "exit code 0")
    check(not os.path.exists(ini), "no settings written without the option")

    # The copy's own settings: beside it where the user can write, in the
    # config folder where it lies in a read-only folder.
    shutil.copy(player, os.path.join(bindir, "qvplayer"))
    os.chmod(os.path.join(bindir, "qvplayer"), 0o755)
    cfg = os.path.dirname(ini)
    for prog, wish in ((player, player + ".ini"), (os.path.join(bindir, "qvplayer"),
                                                    os.path.join(cfg, "qvplayer.ini"))):
        open(wish, "w").close()
        os.chown(wish, USER_UID, USER_UID)
        mark = len(s.events())
        X.xdo("mousemove", TARGET_RECT[0] + 100, TARGET_RECT[1] + 100)
        time.sleep(0.2)
        p = _start_as_user(s, env, prog, wait_title=None)
        try:
            rc = p.wait(10)
        except subprocess.TimeoutExpired:
            raise Failure(f"{prog} did not end by itself")
        check(rc == 0, f"{prog} exits with 0, not {rc}")
        check(len([1 for f in s.events(mark) if f[1] == "KeyPress"]) >= 2, f"{prog} plays")
        text = open(wish).read()
        check("window_x=" in text and "speed=" in text, f"{prog} keeps its settings in {wish}: {text!r}")
    check(sorted(os.listdir(bindir)) == ["quorvane", "qvplayer"], f"nothing beside the installed copy: {os.listdir(bindir)}")

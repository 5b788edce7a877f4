#!/usr/bin/env python3
"""Playback timing: each recording is played into a logging window, and what
arrives is set against what was recorded. Beside the program, a plain player
that sends the same schedule through XTest at absolute deadlines shows what
the machine itself allows. Prints one table row per recording and player;
nothing is judged.

Two recordings: a 7.5 s mixed sequence of 206 events (136 moves in strokes,
30 letters typed, 5 clicks) and 30 s of pointer moves every 10 ms.

Figures: duration error (last event minus first, against the recording),
interval error p50 and p99 (each gap between two events against its
recorded gap), missed events, extra pointer motions, and start to first
event (from the process start).

    playback_bench.py linux BUILD [RUNS [RATES]]      private Xvfb, build/quorvane
    playback_bench.py wine BUILD-WIN [RUNS [RATES]]   the same under Wine, build-win
    playback_bench.py sway BUILD [RUNS]               headless sway, its wlroots route

RATES is a comma-separated list of playback rates (default 1): the program
plays with --rate R, the figures are set against the recording's gaps
divided by R, and the reference player gets a recording already paced so.
On sway the receiving window is the Wayland tests' full-screen GTK logger
(tests/e2e/wayland), run as their test user like the compositor; there is
no reference player (XTest reaches no Wayland window).

Displays come from QV_BENCH_DISPLAYS="FIRST-LAST" (default 90-99). With
QV_BENCH_FRESH=1 each run gets an X server of its own, started just before
it: the start figure is then a first start on a display where nothing of the
program ran before (font, theme and keyboard map caches of the server empty). Under
Wine the receiving window is the Windows test target (its clock counts whole
milliseconds) and the start figure is left out: Wine's own process start is
most of it. Wine sends no synthetic input through the X server, so the
reference player has no part there."""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
WM_KEYDOWN, WM_KEYUP, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP = 0x100, 0x101, 0x200, 0x201, 0x202
HWND = 0x000100A2
# The receiving window: the top-left part of a 1024x768 screen, clear of the
# toolbar that starts centred.
AREA = (0, 0, 440, 330)


def mixed_sequence():
    """(gap, message, a, b): strokes of 17 moves, each followed by typing and
    every other one by a click; 206 events over exactly 7.5 s."""
    events, letters = [], "quorvanetimingbenchxyzsampledk"
    strokes, typed, clicks = 8, 0, 0
    for s in range(strokes):
        for i in range(17):
            angle = (s * 17 + i) * 0.37
            x = 220 + int(150 * math.cos(angle)) + s
            y = 165 + int(110 * math.sin(angle))
            events.append([11 + (i * 7) % 9, WM_MOUSEMOVE, x, y])
            if s == 0 and i == 0:
                # The first click gives the window the focus under Wine.
                events += [[120, WM_LBUTTONDOWN, 0, 0], [80, WM_LBUTTONUP, 0, 0]]
                clicks += 1
        if s % 2 == 1 or (s == strokes - 1 and clicks < 5):
            if clicks < 5:
                events.append([90, WM_LBUTTONDOWN, 0, 0])
                events.append([70, WM_LBUTTONUP, 0, 0])
                clicks += 1
        n = 4 if s < 6 else 3
        for _ in range(n):
            if typed == len(letters):
                break
            vk = ord(letters[typed].upper())
            events.append([60 + (typed * 13) % 40, WM_KEYDOWN, vk, 0])
            events.append([45 + (typed * 11) % 30, WM_KEYUP, vk, 0])
            typed += 1
    while typed < len(letters):
        vk = ord(letters[typed].upper())
        events += [[70, WM_KEYDOWN, vk, 0], [50, WM_KEYUP, vk, 0]]
        typed += 1
    while clicks < 5:
        events += [[90, WM_LBUTTONDOWN, 0, 0], [70, WM_LBUTTONUP, 0, 0]]
        clicks += 1
    # The pointer starts inside the window, which also gives it the focus
    # under Wine (the first click lands there); the schedule is stretched to
    # 7.5 s by its last gaps.
    events[0][0] = 0
    assert len(events) == 206
    total = sum(e[0] for e in events)
    extra, i = 7500 - total, len(events) - 1
    while extra:
        step = max(-events[i][0] + 10, min(extra, 40)) if extra < 0 else min(extra, 40)
        events[i][0] += step
        extra -= step
        i = i - 1 if i > 1 else len(events) - 1
    return [tuple(e) for e in events]


def moves_sequence():
    """30 s of moves every 10 ms, round and round inside the window."""
    out = []
    for i in range(3001):
        angle = i * 0.05
        out.append((0 if i == 0 else 10, WM_MOUSEMOVE, 220 + int(160 * math.cos(angle)),
                    165 + int(120 * math.sin(angle)) + (i % 2)))
    return out


def write_rec(path, events):
    tick, data = 0xFFFFF000, b""  # the tick count wraps inside the first pass
    at = 0.0
    for gap, msg, a, b in events:
        # Gaps divided by a rate are whole milliseconds only on the way
        # into the file, so the stamps keep the exact pace overall.
        at += gap
        tick = (0xFFFFF000 + round(at)) & 0xFFFFFFFF
        if msg in (WM_KEYDOWN, WM_KEYUP):
            a, b = a, 0
        data += struct.pack("<5I", msg, a, b, tick, HWND)
    with open(path, "wb") as f:
        f.write(data)


def percentile(values, p):
    if not values:
        return float("nan")
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100 * (len(s) - 1))))]


def match(events, observed):
    """observed: (ms, kind, a, b) with kind move/key/keyup/button/buttonup.
    Returns the arrival time of each recorded event (None if missed) and the
    motions that matched no recorded move. A window's queue may merge moves
    it has not read yet (Windows does), so a few moves can be passed over;
    never a key or a button."""
    want = {WM_MOUSEMOVE: "move", WM_KEYDOWN: "key", WM_KEYUP: "keyup",
            WM_LBUTTONDOWN: "button", WM_LBUTTONUP: "buttonup"}
    times, i, extra_motions = [None] * len(events), 0, 0
    for t, kind, a, b in observed:
        j = i
        while j < len(events) and j < i + 8:
            _, msg, x, y = events[j]
            if kind == want[msg] and (kind != "move" or (a, b) == (x, y)):
                break
            if msg != WM_MOUSEMOVE:
                j = len(events)
                break
            j += 1
        if j < len(events) and j < i + 8:
            times[j] = t
            i = j + 1
        elif kind == "move":
            extra_motions += 1
    return times, extra_motions


def figures(events, times, extra_motions, start):
    got = [t for t in times if t is not None]
    missed = len(times) - len(got)
    recorded = [0.0]
    for gap, *_ in events[1:]:
        recorded.append(recorded[-1] + gap)
    row = {"missed": missed, "extra": extra_motions}
    if len(got) < 2 or times[0] is None or times[-1] is None:
        return row
    row["duration"] = (times[-1] - times[0]) - recorded[-1]
    errs = [abs((times[k] - times[k - 1]) - events[k][0]) for k in range(1, len(times))
            if times[k] is not None and times[k - 1] is not None]
    row["p50"], row["p99"] = percentile(errs, 50), percentile(errs, 99)
    row["first"] = times[0] - start if start is not None else None
    return row


def free_display(span):
    lo, hi = (int(v) for v in span.split("-"))
    for n in range(lo, hi + 1):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return n
    sys.exit(f"no free display in :{span}")


def start_xvfb():
    n = free_display(os.environ.get("QV_BENCH_DISPLAYS", "90-99"))
    xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.environ["DISPLAY"] = f":{n}"
    for _ in range(50):
        if os.path.exists(f"/tmp/.X11-unix/X{n}"):
            break
        time.sleep(0.1)
    time.sleep(0.3)
    return xvfb


def read_x_log(path):
    out = []
    for line in open(path):
        p = line.split()
        if len(p) == 4:
            kind = "move" if p[1] == "motion" else p[1]
            out.append((int(p[0]) / 1000.0, kind, int(p[2]), int(p[3])))
    return out


def at_rate(events, rate):
    """The recording's schedule as a player at rate should keep it."""
    return [(gap / rate, msg, a, b) for gap, msg, a, b in events]


def run_x(build, player, rec, events, work, rate=1.0):
    """One pass of one player on the X server; the times are monotonic ms."""
    log = os.path.join(work, "observer.log")
    obs = subprocess.Popen([os.path.join(build, "bench", "playback_observer"), log,
                            *map(str, AREA)], stdout=subprocess.PIPE, text=True)
    obs.stdout.readline()
    # The pointer starts away from the first point, inside the window.
    subprocess.run(["xdotool", "mousemove", "5", "5"], check=False)
    time.sleep(0.3)
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    if player == "quorvane":
        cmd = [os.path.join(build, "quorvane")] + (["--rate", f"{rate:g}"] if rate != 1 else []) + [rec]
    else:
        # The reference plays a recording already paced at the rate.
        cmd = [os.path.join(build, "bench", "reference_player"), rec + ".paced"]
    length = sum(e[0] for e in events) / 1000.0
    start = time.monotonic() * 1000.0
    prog = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + length + 3.0
    while time.monotonic() < deadline:
        if match(events, read_x_log(log))[0][-1] is not None:
            break
        if prog.poll() is not None and player != "quorvane":
            break
        time.sleep(0.2)
    time.sleep(0.3)
    prog.kill()
    prog.wait()
    obs.kill()
    obs.wait()
    # Only what arrived once the player was started.
    times, extra = match(events, [e for e in read_x_log(log) if e[0] >= start])
    return figures(events, times, extra, start)


def run_sway(build, rec, events, work):
    """One pass on a fresh headless sway; the times are monotonic ms."""
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "wayland"))
    import wl_harness as H
    folder = H.Folder()
    comp = H.Sway(folder).start()
    logger = prog = None
    try:
        os.environ["QV_LOGGER_TIMES"] = "1"
        logger = H.Logger.__new__(H.Logger)
        logger.path = os.path.join(folder.root, "observer.log")
        open(logger.path, "w").close()
        os.chmod(logger.path, 0o666)
        env = comp.env()
        env.update(GDK_BACKEND="wayland", QV_LOGGER_TIMES="1")
        logger.proc = H.start_as_user([H.SYSTEM_PYTHON, os.path.join(H.HERE, "wl_logger.py"),
                                       logger.path], env)
        H.wait_until(lambda: "ready" in open(logger.path).read(), 10.0)
        exe = folder.put("quorvane", src=os.path.join(build, "quorvane"), mode=0o755)
        folder.put("quorvane.ini", b"[Quorvane]\nwayland_notice=1\n")
        folder.put("bench.rec", open(rec, "rb").read())
        length = sum(e[0] for e in events) / 1000.0
        start = time.monotonic() * 1000.0
        prog = H.start_program(comp, exe, "bench.rec")
        deadline = time.monotonic() + length + 3.0
        while time.monotonic() < deadline:
            if match(events, read_wl_log(logger.path))[0][-1] is not None:
                break
            time.sleep(0.2)
        time.sleep(0.3)
        times, extra = match(events, [e for e in read_wl_log(logger.path) if e[0] >= start])
        return figures(events, times, extra, start)
    finally:
        H.stop(prog)
        if logger:
            H.stop(logger.proc)
        comp.stop()
        folder.remove()


def read_wl_log(path):
    """The logger's timed lines as (ms, kind, a, b)."""
    out = []
    for line in open(path):
        p = line.split()
        if len(p) >= 4 and p[1] == "motion":
            out.append((int(p[0]) / 1000.0, "move", int(p[2]), int(p[3])))
        elif len(p) >= 4 and p[1] in ("key", "button"):
            kind = p[1] if p[2] == "press" else p[1] + "up"
            out.append((int(p[0]) / 1000.0, kind, 0, 0))
    return out


def wine_setup(build):
    env = os.environ
    env["WINEPREFIX"] = os.path.join(build, "wineprefix")
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env["WINEDEBUG"] = "-all"
    tools = os.path.join(build, "e2e-tools")
    for t in ("qvtarget", "qvdriver"):
        exe = os.path.join(tools, t + ".exe")
        if not os.path.exists(exe):
            os.makedirs(tools, exist_ok=True)
            subprocess.run(["x86_64-w64-mingw32-g++-posix", "-Os", "-s", "-static", "-o", exe,
                            os.path.join(ROOT, "tests", "e2e", "wine", t + ".cpp")], check=True)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "-i"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"])
    subprocess.run(["wine", os.path.join(tools, "qvdriver.exe"), "cursor", "1000", "5"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    return tools


def run_wine(build, tools, rec, events, work, rate=1.0):
    log = os.path.join(work, "target.log")
    if os.path.exists(log):
        os.remove(log)
    x, y, w, h = AREA
    target = subprocess.Popen(["wine", os.path.join(tools, "qvtarget.exe"), "Z:" + log.replace("/", "\\"),
                               str(x), str(y), str(w), str(h), "120"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(300):
        if os.path.exists(log) and "ready" in open(log).read():
            break
        time.sleep(0.1)
    subprocess.run(["wine", os.path.join(tools, "qvdriver.exe"), "cursor", "5", "5"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    folder = os.path.join(work, "prog")
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, "quorvane.exe")
    shutil.copy(os.path.join(build, "quorvane.exe"), exe)
    rate_args = ["--rate", f"{rate:g}"] if rate != 1 else []
    prog = subprocess.Popen(["wine", exe, *rate_args, "Z:" + rec.replace("/", "\\")], cwd=folder,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    names = {"move": "move", "keydown": "key", "keyup": "keyup", "ldown": "button",
             "lup": "buttonup"}
    length = sum(e[0] for e in events) / 1000.0
    deadline = time.monotonic() + length + 15.0
    observed = []
    while time.monotonic() < deadline:
        observed = []
        for line in open(log):
            p = line.split()
            if len(p) == 4 and p[1] in names:
                observed.append((float(p[0]), names[p[1]], int(p[2]), int(p[3])))
        times, _ = match(events, observed)
        if times[-1] is not None:
            break
        time.sleep(0.3)
    subprocess.run(["wine", os.path.join(tools, "qvdriver.exe"), "post", "QuorvaneClass", "-",
                    "16", "0", "0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    prog.wait(timeout=20)
    target.kill()
    subprocess.run(["wine", os.path.join(tools, "qvdriver.exe"), "post", "QvTargetClass", "-",
                    "16", "0", "0"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times, _ = match(events, observed)
    row = figures(events, times, 0, None)
    row["extra"] = None  # the target logs each new position once
    return row


def fmt(v, signed=False):
    if v is None:
        return "–"
    if isinstance(v, int):
        return str(v)
    return f"{v:+.1f} ms" if signed else f"{v:.2f} ms"


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("linux", "wine", "sway"):
        sys.exit(__doc__)
    mode, build = sys.argv[1], os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    rates = [float(r) for r in sys.argv[4].split(",")] if len(sys.argv) > 4 else [1.0]
    work = tempfile.mkdtemp(prefix="qv-bench-")
    if os.environ.get("QV_BENCH_KEEP"):
        print(f"work folder {work}")
    fresh = os.environ.get("QV_BENCH_FRESH") == "1" and mode == "linux"
    xvfb = start_xvfb() if mode != "sway" else None
    try:
        recordings = [("7.5 s mixed, 206 events", mixed_sequence()),
                      ("30 s of 10 ms moves", moves_sequence())]
        if os.environ.get("QV_BENCH_ONLY"):
            recordings = recordings[int(os.environ["QV_BENCH_ONLY"]):][:1]
        tools = wine_setup(build) if mode == "wine" else None
        players = ["quorvane"] if mode in ("wine", "sway") else ["quorvane", "reference"]
        print(f"| Recording ({mode}) | Player | Duration error | Interval p50 | Interval p99 |"
              " Missed | Extra motions | Start to first event |")
        print("|---|---|---|---|---|---|---|---|")
        for (name, recorded), rate in [(r, x) for r in recordings for x in rates]:
            rec = os.path.join(work, "bench.rec")
            write_rec(rec, recorded)
            events = at_rate(recorded, rate)
            write_rec(rec + ".paced", events)
            label = name if rate == 1 else f"{name}, at {rate:g}x"
            for player in players:
                for _ in range(runs):
                    if mode == "wine":
                        r = run_wine(build, tools, rec, events, work, rate)
                    elif fresh:
                        xvfb.terminate()
                        xvfb.wait()
                        xvfb = start_xvfb()
                        r = run_x(build, player, rec, events, work, rate)
                    elif mode == "sway":
                        r = run_sway(build, rec, events, work)
                    else:
                        r = run_x(build, player, rec, events, work, rate)
                    print(f"| {label} | {player} | {fmt(r.get('duration'), True)} | "
                          f"{fmt(r.get('p50'))} | {fmt(r.get('p99'))} | {r['missed']} | "
                          f"{fmt(r.get('extra'))} | {fmt(r.get('first'))} |", flush=True)
    finally:
        if mode == "wine":
            subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        # Asked to end, so it takes its lock file with it.
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        if not os.environ.get("QV_BENCH_KEEP"):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

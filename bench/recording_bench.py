#!/usr/bin/env python3
"""Recording against what was done: the playback bench's 7.5 s mixed
sequence (206 events: 136 moves, 30 letters, 5 clicks) is driven through
XTest at absolute deadlines (bench/reference_player, which notes when it
sent each event), while the program records it and, in the same run, GNU
Xnee's cnee records it beside it. Prints one row per recorder and run;
nothing is judged.

Figures: interval error p50 and p99 (each gap between two recorded events
against the gap between their sends), missed events, moves at the place
the driver sent them to, buttons at the place of their press, and CPU while
recording (ms of CPU per second). Before the sequence, the program's CPU is
taken twice over a quiet stretch: the idle toolbar and an idle recording.

    recording_bench.py BUILD [RUNS] [QUIET-SECONDS]

Needs Xvfb, xdotool and cnee (Debian: xvfb, xdotool, xnee). Displays come
from QV_BENCH_DISPLAYS="FIRST-LAST" (default 90-99)."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from playback_bench import (WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDOWN, WM_LBUTTONUP,  # noqa: E402
                            WM_MOUSEMOVE, mixed_sequence, percentile, start_xvfb, write_rec)

KIND = {WM_MOUSEMOVE: "move", WM_KEYDOWN: "key", WM_KEYUP: "keyup", WM_LBUTTONDOWN: "button",
        WM_LBUTTONUP: "buttonup"}


def cpu_ms(pid):
    """CPU time of a process so far, all its threads, in ms: the
    scheduler's own nanoseconds (the clock ticks of /proc/PID/stat count
    10 ms steps, too coarse for an idle program)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            pass  # a thread that ended meanwhile
    return total / 1e6


def xdo(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True).stdout


def wait_for(pred, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        value = pred()
        if value:
            return value
        time.sleep(0.05)
    return None


def toolbar():
    """The toolbar's window (the search also finds the toolkit's hidden
    leader, named after the program in lower case)."""
    def find():
        for wid in xdo("search", "--name", "^Quorvane$").split():
            if caption(wid) == "Quorvane":
                return wid
        return None
    return wait_for(find)


def caption(wid):
    return xdo("getwindowname", wid).strip()


def read_rec(path):
    import struct
    data = open(path, "rb").read()
    out = []
    for i in range(0, len(data) - 19, 20):
        msg, a, b, t, _ = struct.unpack_from("<5I", data, i)
        if msg == 0:
            break
        if msg in KIND:
            out.append((t, KIND[msg], a, b))
    return out


def read_cnee(path, keycodes):
    """cnee's records: one line per device event of the XTest devices
    (first field 7), 'kind,type,x,y,button,keycode,?,time,...'."""
    kinds = {2: "key", 3: "keyup", 4: "button", 5: "buttonup", 6: "move"}
    out = []
    for line in open(path):
        p = line.strip().split(",")
        if len(p) < 8 or p[0] != "7" or not p[1].isdigit() or int(p[1]) not in kinds:
            continue
        kind = kinds[int(p[1])]
        if kind in ("key", "keyup"):
            if int(p[5]) not in keycodes:
                continue  # the record hotkey's keys
            a, b = keycodes[int(p[5])], 0
        else:
            a, b = int(p[2]), int(p[3])
        out.append((int(p[7]), kind, a, b))
    return out


def figures(events, sent_ms, got):
    """got: (ms, kind, a, b) as a recorder holds them. Matched in order by
    kind (and letter); a move's and a button's place are compared with the
    place the driver had sent the pointer to."""
    places, x, y = [], 0, 0
    for _, msg, a, b in events:
        if msg == WM_MOUSEMOVE:
            x, y = a, b
        places.append((x, y))
    times, i = [None] * len(events), 0
    moves_at = buttons_at = 0
    for t, kind, a, b in got:
        while i < len(events) and KIND[events[i][1]] != kind:
            i += 1
        if i == len(events):
            break
        msg = events[i][1]
        if kind in ("key", "keyup") and (a & 0xFF) != events[i][2]:
            continue
        times[i] = t
        if msg == WM_MOUSEMOVE and (a, b) == places[i]:
            moves_at += 1
        if msg in (WM_LBUTTONDOWN, WM_LBUTTONUP) and (a, b) == places[i]:
            buttons_at += 1
        i += 1
    errs = [abs((times[k] - times[k - 1]) - (sent_ms[k] - sent_ms[k - 1]))
            for k in range(1, len(events)) if times[k] is not None and times[k - 1] is not None]
    moves = sum(1 for e in events if e[1] == WM_MOUSEMOVE)
    buttons = sum(1 for e in events if e[1] in (WM_LBUTTONDOWN, WM_LBUTTONUP))
    return {"missed": times.count(None), "p50": percentile(errs, 50), "p99": percentile(errs, 99),
            "moves": f"{moves_at}/{moves}", "buttons": f"{buttons_at}/{buttons}"}


def one_run(build, work, quiet):
    events = mixed_sequence()
    rec = os.path.join(work, "mixed.rec")
    write_rec(rec, events)
    xvfb = start_xvfb()
    procs = [xvfb]
    try:
        xdo("mousemove", 5, 5)
        exe = os.path.join(work, "quorvane")
        shutil.copy(os.path.join(build, "quorvane"), exe)
        qv = subprocess.Popen([exe], cwd=work, stderr=subprocess.DEVNULL)
        procs.append(qv)
        wid = toolbar()
        if not wid:
            sys.exit("the toolbar did not appear")
        time.sleep(1.0)
        row = {}
        c0, w0 = cpu_ms(qv.pid), time.monotonic()
        time.sleep(quiet)
        row["idle"] = (cpu_ms(qv.pid) - c0) / (time.monotonic() - w0)

        xns = os.path.join(work, "cnee.xns")
        cnee = subprocess.Popen(["cnee", "--record", "--mouse", "--keyboard", "-o", xns,
                                 "-etr", "-1"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        procs.append(cnee)
        time.sleep(1.0)
        xdo("keydown", "ctrl+shift+alt+r", "sleep", 0.2, "keyup", "ctrl+shift+alt+r")
        if not wait_for(lambda: caption(wid).startswith("REC"), 3):
            sys.exit("the recording did not start")
        time.sleep(0.5)
        c0, w0 = cpu_ms(qv.pid), time.monotonic()
        time.sleep(quiet)
        row["idle-rec"] = (cpu_ms(qv.pid) - c0) / (time.monotonic() - w0)

        sent = os.path.join(work, "sent.txt")
        q0, n0, w0 = cpu_ms(qv.pid), cpu_ms(cnee.pid), time.monotonic()
        subprocess.run([os.path.join(build, "bench", "reference_player"), rec, sent], check=True)
        time.sleep(0.2)
        wall = time.monotonic() - w0
        row["cpu"] = (cpu_ms(qv.pid) - q0) / wall
        row["cnee-cpu"] = (cpu_ms(cnee.pid) - n0) / wall
        xdo("keydown", "ctrl+shift+alt+r", "sleep", 0.2, "keyup", "ctrl+shift+alt+r")
        if not wait_for(lambda: not caption(wid).startswith("REC"), 3):
            sys.exit("the recording did not stop")
        # It writes each event as it comes; an interrupt ends it (with a
        # crash of its own on the way out, which loses nothing).
        cnee.send_signal(signal.SIGINT)
        cnee.wait(5)

        # The Save button, then the dialog given the whole path.
        out = os.path.join(work, "recorded.rec")
        geo = dict(line.split("=") for line in xdo("getwindowgeometry", "--shell", wid).split())
        xdo("mousemove", int(geo["X"]) + 3 + 26 + 8, int(geo["Y"]) + 3 + 15 + 13, "click", 1)
        if not wait_for(lambda: xdo("search", "--name", "Save As").split(), 5):
            sys.exit("the save dialog did not open")
        time.sleep(0.5)
        xdo("key", "ctrl+a")
        xdo("type", "--delay", 5, out)
        time.sleep(0.5)
        xdo("key", "Return")
        if not wait_for(lambda: os.path.exists(out) and os.path.getsize(out) > 0, 5):
            sys.exit("the recording was not saved")
        time.sleep(0.3)

        sent_ms = [int(v) / 1000.0 for v in open(sent)]
        keycodes = keycode_table({vk for _, msg, vk, _ in events if msg == WM_KEYDOWN})
        row["quorvane"] = figures(events, sent_ms, read_rec(out))
        # cnee also holds the record hotkey's keys around the sequence; its
        # times are the server's, which on this machine is the monotonic
        # clock the driver's are on.
        held = [r for r in read_cnee(xns, keycodes)
                if sent_ms[0] - 1 <= r[0] <= sent_ms[-1] + 100]
        row["cnee"] = figures(events, sent_ms, held)
        return row
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


def keycode_table(vks):
    """keycode -> letter's virtual-key code, from the server's map."""
    table = {}
    out = subprocess.run(["xmodmap", "-pke"], capture_output=True, text=True).stdout
    for line in out.splitlines():
        p = line.split()
        if len(p) >= 4 and p[0] == "keycode" and len(p[3]) == 1 and p[3].isalpha():
            vk = ord(p[3].upper())
            if vk in vks:
                table[int(p[1])] = vk
    return table


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    quiet = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    print("| Recorder | Interval p50 | Interval p99 | Missed | Moves at their place |"
          " Buttons at their place | CPU recording | Idle recording | Idle toolbar |")
    print("|---|---|---|---|---|---|---|---|---|")
    for _ in range(runs):
        work = tempfile.mkdtemp(prefix="qv-recbench.")
        try:
            r = one_run(build, work, quiet)
        finally:
            # QV_BENCH_KEEP keeps the run's folder (both recordings, the
            # send times).
            if os.environ.get("QV_BENCH_KEEP"):
                print(f"kept {work}")
            else:
                shutil.rmtree(work, ignore_errors=True)
        for name, cpu in (("quorvane", r["cpu"]), ("cnee", r["cnee-cpu"])):
            f = r[name]
            idle = (f"{r['idle-rec']:.2f} ms/s", f"{r['idle']:.2f} ms/s") if name == "quorvane" \
                else ("–", "–")
            print(f"| {name} | {f['p50']:.2f} ms | {f['p99']:.2f} ms | {f['missed']} | {f['moves']} |"
                  f" {f['buttons']} | {cpu:.1f} ms/s | {idle[0]} | {idle[1]} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())

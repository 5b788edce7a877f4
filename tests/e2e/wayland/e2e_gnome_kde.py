"""The Wayland end-to-end cases of GNOME (mutter) and KDE (KWin) only, beside
the cases every compositor runs: mutter without PipeWire and with two
monitors, KWin with the program installed elsewhere and with two outputs.

run_wayland_e2e.py adds these with cases(its own module); they use its
recordings and readers. QV_ROUTE_PROBE names the route probe binary
(qv_route_probe, built beside the program): its timings are printed."""
import os
import re
import subprocess

import comp_gnome_kde as G
import wl_harness as H
from wl_harness import check



def cases(base):
    """The test functions, over base's Rec, BASIC, played() and same()."""
    Rec = base.Rec

    basic = base.basic_rec
    KWIN_BASIC = [f"{G.Kwin.wheel_notch_down} 700 600" if e.startswith("scroll") else e for e in base.BASIC]

    def desktop(t, cls, before=None, **start):
        t.comp = cls(t.folder)
        if before:
            start.update(before(t.folder))
        t.comp.start(**start)
        return t.comp

    def plays_basic(t, lg, expected=base.BASIC, kinds=("key", "button", "scroll")):
        check(base.wait_events(lg, len(expected), kinds=kinds),
              f"the window sees the whole recording: {lg.events()}\n{H.program_log(t.comp)[-600:]}")
        rest = base.same(base.played(lg, kinds=kinds), expected, "played events")
        check(all(e.startswith("button release 1") for e in rest), f"nothing else arrives: {rest}")

    def probe_timings(t, route):
        """The route driven directly: open, and the cost of a call."""
        probe = os.environ.get("QV_ROUTE_PROBE")
        if not probe or not os.path.exists(probe):
            return
        exe = t.folder.put("qv_route_probe", src=probe, mode=0o755)
        script = t.folder.put("probe.txt", ("m 300 300\nk 42 1\nk 42 0\n" * 200 + "f\n").encode())
        r = H.run_as_user(["sh", "-c", f'exec "$0" {route} < "$1"', exe, script], t.comp.env(), timeout=30)
        check(r.returncode == 0, f"route probe: {r.stdout}{r.stderr}")
        for line in r.stdout.splitlines():
            print("    " + line.split(": ")[0] if line.startswith("open") else "    " + line)

    def test_mutter_without_pipewire(t):
        """Without PipeWire there is no screen cast: moves go relative from
        the far corner, exact on the one monitor, and the route says so."""
        desktop(t, G.Mutter, pipewire=False)
        lg = t.logger()
        t.play(basic())
        plays_basic(t, lg)
        probe = os.environ.get("QV_ROUTE_PROBE")
        if probe and os.path.exists(probe):
            exe = t.folder.put("qv_route_probe", src=probe, mode=0o755)
            r = H.run_as_user(["sh", "-c", 'echo "m 1 1" | exec "$0" mutter', exe], t.comp.env())
            check("relative moves" in r.stdout and "PipeWire" in r.stdout,
                  f"the route says what it lacks: {r.stdout}")

    def test_mutter_second_monitor(t):
        """Two monitors side by side: clicks recorded on the second land
        there, through the second monitor's own stream."""
        desktop(t, G.Mutter, monitors=("1280x1024", "1024x768"))
        right = t.logger(1)
        ox, oy = right.origin[:2]
        check(ox >= 1280, f"the second monitor is right of the first: {right.origin}")
        t.play(Rec().click(ox + 300, oy + 200).click(ox + 1023, oy + 767, right=True))
        expected = [f"button press 1 {ox + 300} {oy + 200}", f"button release 1 {ox + 300} {oy + 200}",
                    f"button press 3 {ox + 1023} {oy + 767}", f"button release 3 {ox + 1023} {oy + 767}"]
        check(base.wait_events(right, len(expected)), f"the second monitor's window sees both: {right.events()}")
        base.same(base.played(right), expected, "second monitor")
        probe_timings(t, "mutter")

    def test_kwin_second_output(t):
        """KWin with two outputs side by side: clicks recorded on the second
        land there (fake input takes global coordinates)."""
        desktop(t, G.Kwin, outputs=2)
        right = t.logger(1)
        ox, oy = right.origin[:2]
        check(ox >= 1280, f"the second output is right of the first: {right.origin}")
        t.play(Rec().click(ox + 300, oy + 200).click(ox + 1279, oy + 1023, right=True))
        expected = [f"button press 1 {ox + 300} {oy + 200}", f"button release 1 {ox + 300} {oy + 200}",
                    f"button press 3 {ox + 1279} {oy + 1023}", f"button release 3 {ox + 1279} {oy + 1023}"]
        check(base.wait_events(right, len(expected)), f"the second output's window sees both: {right.events()}")
        base.same(base.played(right), expected, "second output")

    def install(folder, exe):
        """The program (exe: the build's) installed to a prefix of the test's
        own, not the one the build was configured for, with settings beside
        it (the test user can write that folder) that skip the notice and
        keep the toolbar in the top right corner: at its default place, the
        centre, KWin keeps it above the recording's click at 640,512."""
        prefix = os.path.join(folder.work, "prefix")
        build = os.path.dirname(os.path.abspath(exe))
        r = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
        check(r.returncode == 0, f"cmake --install: {r.stdout}{r.stderr}")
        with open(os.path.join(prefix, "bin", "quorvane.ini"), "w") as f:
            f.write("[Quorvane]\nwayland_notice=1\nwindow_x=1140\nwindow_y=5\n")
        for root, dirs, files in os.walk(prefix):
            for n in dirs + files:
                H.own_dir(os.path.join(root, n))
        H.own_dir(prefix)
        return prefix

    def play_installed(t, prefix, rec):
        t.folder.put("test.rec", rec.bytes())
        t.program = H.start_program(t.comp, os.path.join(prefix, "bin", "quorvane"), "test.rec")

    def test_kwin_installed_elsewhere(t):
        """KWin, the program installed to another prefix and started from
        there: it writes a hidden desktop entry naming its own path, KWin
        reads it and offers fake input; a second start writes no other."""
        prefix = install(t.folder, t.exe_src)
        exe = os.path.join(prefix, "bin", "quorvane")
        entry = open(os.path.join(prefix, "share", "applications", "quorvane.desktop")).read()
        check(f"Exec={exe} %f\n" in entry and "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" in entry,
              f"the installed entry names the installed program:\n{entry}")
        desktop(t, G.Kwin)
        lg = t.logger()
        play_installed(t, prefix, basic())
        kinds = ("key", "button", "smooth")
        plays_basic(t, lg, KWIN_BASIC, kinds)
        written = t.comp.entries()
        check(len(written) == 1 and re.fullmatch(r"quorvane-[0-9a-f]{16}\.desktop", written[0]),
              f"one hidden entry: {written}")
        text = open(os.path.join(t.comp.dirs["XDG_DATA_HOME"], "applications", written[0])).read()
        check(f'Exec="{exe}" %f\n' in text and "NoDisplay=true\n" in text, f"the hidden entry:\n{text}")
        H.stop(t.program)
        lg.stop()
        lg = t.logger()
        play_installed(t, prefix, basic())
        plays_basic(t, lg, KWIN_BASIC, kinds)
        check(t.comp.entries() == written, f"no second entry: {t.comp.entries()}")
        probe_timings(t, "kwin")

    def test_kwin_reads_installed_entry(t):
        """Where the desktop's data folders hold the installed entry, it is
        enough: KWin offers fake input and no entry of the program's own is
        written."""
        prefix = install(t.folder, t.exe_src)
        desktop(t, G.Kwin, data_dirs=[os.path.join(prefix, "share"), "/usr/local/share", "/usr/share"])
        lg = t.logger()
        play_installed(t, prefix, basic())
        plays_basic(t, lg, KWIN_BASIC, ("key", "button", "smooth"))
        check(t.comp.entries() == [], f"no hidden entry: {t.comp.entries()}")

    return [test_mutter_without_pipewire, test_mutter_second_monitor, test_kwin_installed_elsewhere,
            test_kwin_reads_installed_entry, test_kwin_second_output]

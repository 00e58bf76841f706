#!/usr/bin/env python3
"""Tandrel's start-up under Wine: from process start until the main window is mapped.

For each size, a program folder of its own in the work folder holds a copy of Tandrel.exe,
the benchmarks' sample index as db.db (written by write_sample_index) and a settings.conf
with autostart off and no folders. Each start is timed from just before the Wine loader is started until the
X server maps the top-level window titled "Tandrel" (and, on the way, the splash), on a
private Xvfb display, with a private Wine prefix whose server stays up between starts.
The maps arrive as X events (SubstructureNotify on the root window), so no polling
lies between the map and its timestamp; the latency of that path is measured too. The
splash's fade-in is seen as the run of its property changes (each opacity step sets its
opacity and hints; the last step, to opaque, only the hints), so each start splits into
Wine's start (to the splash), the fade-in, and the hold (fade-in end to main window:
600 ms, or the load where it takes longer). The watcher marks each mapped window as
shown (and each unmapped one withdrawn), as a window manager would; --bare leaves that out
(see cmake/x_session.py).

Two kinds of start: "snapshot" (db.snap beside db.db, left by the text start before it)
and "text" (db.snap removed first, so the text is parsed and a snapshot written in the
background). The tiny index (1,000 entries) is the peer: its load is invisible, so the
ratio big / tiny tells whether the load still shows.

usage: startup_benchmark.py WINDOWS_BUILD RELEASE_BUILD [SIZES...] [--quick] [--runs N]
       [--text-runs-10m N] [--bare] [--work DIR]
WINDOWS_BUILD needs the targets Tandrel and tandrel_driver (which quits the program
through its menu command), RELEASE_BUILD the target write_sample_index.
"""
import argparse
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
WINE_RUN = os.path.join(REPO, "cmake", "wine-run.sh")
sys.path.insert(0, os.path.join(REPO, "cmake"))
from x_session import Display, WindowStates, load_xlib  # noqa: E402
MAIN = "Tandrel"
SPLASH = "Lade..."
QUIT_COMMAND = 12  # the menu item "Beenden"
TINY = 1000
HOLD_MS = 600
START_TIMEOUT_S = 180.0
SNAPSHOT_TIMEOUT_S = 300.0
EXIT_TIMEOUT_S = 60.0

UNMAP_NOTIFY = 18
MAP_NOTIFY = 19
PROPERTY_NOTIFY = 28
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
PROPERTY_CHANGE_MASK = 1 << 22


class XWatch:
    """A connection to the display that hears of every top-level window being mapped."""

    def __init__(self, display, answer_maps):
        self.x = load_xlib()
        self.x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                      ctypes.POINTER(ctypes.c_char_p)]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XCreateSimpleWindow.restype = ctypes.c_ulong
        self.x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + \
            [ctypes.c_int] * 2 + [ctypes.c_uint] * 2 + [ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        self.x.XStoreName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_char_p]
        self.x.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.display)
        # The window states a window manager keeps (see x_session.py); --bare leaves them out.
        self.states = WindowStates(connection=self.display) if answer_maps else None
        self.x.XSelectInput(self.display, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XFlush(self.display)
        self.fd = self.x.XConnectionNumber(self.display)
        self.event = ctypes.create_string_buffer(192)  # sizeof(XEvent) on 64-bit

    def title(self, window):
        name = ctypes.c_char_p()
        if not self.x.XFetchName(self.display, window, ctypes.byref(name)) or not name.value:
            return None
        text = name.value.decode("latin-1")
        self.x.XFree(name)
        return text

    def events(self):
        """(time, kind, window, atom) of each map or property change already received."""
        found = []
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, self.event)
            now = time.monotonic()
            kind = ctypes.c_int.from_buffer(self.event, 0).value
            # XMapEvent: type, serial, send_event, display, event, window;
            # XPropertyEvent: type, serial, send_event, display, window, atom
            if kind in (MAP_NOTIFY, UNMAP_NOTIFY):
                window = ctypes.c_ulong.from_buffer(self.event, 40).value
                found.append((now, kind, window, 0))
                if self.states:
                    self.states.answer(self.event)
            elif kind == PROPERTY_NOTIFY:
                found.append((now, kind, ctypes.c_ulong.from_buffer(self.event, 32).value,
                              ctypes.c_ulong.from_buffer(self.event, 40).value))
        return found

    def drain(self):
        self.events()

    def wait_titles(self, titles, deadline, alive=lambda: True, fading=None):
        """Monotonic time at which each of `titles` was first mapped (None: not by the
        deadline). With `fading`, one of the titles: also the time of the last property
        change of that window before it was unmapped ("fade-in end") and of its unmap."""
        seen = dict.fromkeys(titles)
        unnamed = []  # mapped before its title was set: its map time counts once it has one
        faded, fading_window, gone = None, None, None
        while None in seen.values() and time.monotonic() < deadline:
            for at, kind, window, atom in self.events():
                if kind == MAP_NOTIFY:
                    unnamed.append((at, window))
                elif kind == PROPERTY_NOTIFY and window == fading_window and gone is None:
                    faded = at
                if kind == UNMAP_NOTIFY and window == fading_window and gone is None:
                    gone = at
            for at, window in list(unnamed):
                title = self.title(window)
                if title is not None:
                    unnamed.remove((at, window))
                    if title in seen and seen[title] is None:
                        seen[title] = at
                        if title == fading:
                            fading_window = window
                            self.x.XSelectInput(self.display, window, PROPERTY_CHANGE_MASK)
                            self.x.XFlush(self.display)
            if not alive():
                break
            select.select([self.fd], [], [], 0.05 if unnamed else 0.5)
        if fading is not None:
            seen["fade-in end"] = faded
            seen["gone"] = gone
        return seen

    def latency_ms(self, display, count=20):
        """Median time from mapping a window on another connection until its event is here."""
        other = self.x.XOpenDisplay(display.encode())
        times = []
        for i in range(count):
            window = self.x.XCreateSimpleWindow(other, self.root, 0, 0, 50, 50, 0, 0, 0)
            self.x.XStoreName(other, window, b"latency probe")
            self.x.XFlush(other)
            time.sleep(0.01)
            self.drain()
            start = time.monotonic()
            self.x.XMapWindow(other, window)
            self.x.XFlush(other)
            got = self.wait_titles(["latency probe"], start + 5)["latency probe"]
            if got is not None:
                times.append((got - start) * 1000)
            self.x.XDestroyWindow(other, window)
            self.x.XFlush(other)
        self.x.XCloseDisplay(other)
        return statistics.median(times) if times else float("nan")


class Wine:
    """The Wine loader with a prefix of its own; its server is kept up between starts."""

    def __init__(self, prefix, display):
        self.loader = subprocess.run(["bash", WINE_RUN, "--which"], stdout=subprocess.PIPE,
                                     check=True, timeout=30).stdout.decode().strip()
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", DISPLAY=display,
                        LANG="en_US.UTF-8", LC_ALL="C.UTF-8",
                        # no Mono or Gecko installer dialogs when the prefix is made
                        WINEDLLOVERRIDES="mscoree=;mshtml=")

    def server(self, *args, timeout=60):
        subprocess.run(["bash", WINE_RUN, "--server"] + list(args), env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)

    def prepare(self):
        subprocess.run([self.loader, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        # The server stays up, so each start pays for the program, not for Wine's own boot.
        self.server("-p")

    def start(self, exe, folder):
        return subprocess.Popen([self.loader, exe], cwd=folder, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)

    def run(self, *args, timeout=90):
        return subprocess.run([self.loader] + [str(a) for a in args], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def stop(self):
        self.server("-k")
        self.server("-w", timeout=60)


def peak_resident_kib(pid):
    """VmHWM of the process, or None once it has gone."""
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def snapshot_written(folder):
    snap = os.path.join(folder, "db.snap")
    return os.path.exists(snap) and not os.path.exists(snap + ".new")


def since(start, end):
    """Milliseconds from start to end; NaN when either was not seen."""
    return (end - start) * 1000 if start is not None and end is not None else float("nan")


def wait_for(condition, timeout_s, step_s=0.1):
    deadline = time.monotonic() + timeout_s
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(step_s)
    return True


class StartFailed(RuntimeError):
    pass


class Bench:
    def __init__(self, args, wine, watch):
        self.wine, self.watch = wine, watch
        self.exe = os.path.join(args.windows_build, "app", "Tandrel.exe")
        self.driver = os.path.join(args.windows_build, "tests", "e2e", "tandrel_driver.exe")
        self.writer = os.path.join(args.release_build, "benchmarks", "write_sample_index")
        self.work = args.work
        self.rows = {}  # (entries, kind) -> list of the starts' figures
        self.restarted = False

    def folder(self, entries):
        folder = os.path.join(self.work, "program-%d" % entries)
        if not os.path.exists(os.path.join(folder, "db.db")):
            os.makedirs(folder, exist_ok=True)
            print("writing the sample index of %d entries ..." % entries, file=sys.stderr)
            subprocess.run([self.writer, str(entries), os.path.join(folder, "db.db")],
                           check=True, timeout=600, env=dict(os.environ, TMPDIR=self.work))
        shutil.copy(self.exe, os.path.join(folder, "Tandrel.exe"))
        # Autostart off, no indexed folders: the program starts straight to its window.
        with open(os.path.join(folder, "settings.conf"), "wb") as conf:
            conf.write(b"0\r\n")
        return folder

    def close(self, process):
        """Quits through the menu command as a user would; kills only what does not end."""
        if process.poll() is None:
            try:
                self.wine.run(self.driver, "command", MAIN, QUIT_COMMAND)
            except subprocess.TimeoutExpired:
                pass
        try:
            process.wait(timeout=EXIT_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            print("  the program did not end after the quit command; killed", file=sys.stderr)
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=30)

    def start_once(self, entries, kind):
        folder = self.folder(entries)
        snap = os.path.join(folder, "db.snap")
        if kind == "text":
            for name in (snap, snap + ".new"):
                if os.path.exists(name):
                    os.remove(name)
        elif not snapshot_written(folder):
            raise RuntimeError("no snapshot beside %s for a snapshot start" % folder)
        self.watch.drain()
        t0 = time.monotonic()
        process = self.wine.start(os.path.join(folder, "Tandrel.exe"), folder)
        try:
            seen = self.watch.wait_titles([SPLASH, MAIN], t0 + START_TIMEOUT_S,
                                          alive=lambda: process.poll() is None, fading=SPLASH)
            peak = peak_resident_kib(process.pid)
            if kind == "text" and seen[MAIN] is not None:
                # the next snapshot start needs the snapshot this start writes
                if not wait_for(lambda: snapshot_written(folder), SNAPSHOT_TIMEOUT_S):
                    print("  no snapshot written within %d s" % SNAPSHOT_TIMEOUT_S, file=sys.stderr)
                peak = max(peak or 0, peak_resident_kib(process.pid) or 0) or None
        finally:
            self.close(process)
        if seen[MAIN] is None:
            raise StartFailed("the main window of %s did not show" % folder)
        row = {"main": since(t0, seen[MAIN]), "splash": since(t0, seen[SPLASH]),
               "fade": since(seen[SPLASH], seen["fade-in end"]),
               "hold": since(seen["fade-in end"], seen[MAIN]),
               "closed": since(seen["fade-in end"], seen["gone"]), "peak": peak}
        self.rows.setdefault((entries, kind), []).append(row)
        print("  %9d %-8s %6.0f ms to main window: splash at %.0f, fade-in %.0f, hold %.0f"
              " (splash closed at %.0f); peak %s"
              % (entries, kind, row["main"], row["splash"], row["fade"], row["hold"], row["closed"],
                            "%.0f MiB" % (peak / 1024) if peak else "?"), file=sys.stderr)

    def start(self, entries, kind):
        """One timed start; a start whose window never shows gets one more, once per run,
        as in the e2e tests: now and then a Wine start never shows its first window."""
        try:
            self.start_once(entries, kind)
        except StartFailed as failure:
            if self.restarted:
                raise
            self.restarted = True
            print("  %s; starting once more" % failure, file=sys.stderr)
            self.start_once(entries, kind)

    def median(self, entries, kind, column):
        values = [row[column] for row in self.rows.get((entries, kind), [])
                  if row[column] is not None and row[column] == row[column]]
        return statistics.median(values) if values else float("nan")

    def table(self, sizes):
        print()
        print("%10s  %-8s %4s %11s %7s %10s %11s %8s %7s %9s"
              % ("entries", "load", "runs", "to main ms", "/ tiny", "splash ms", "fade-in ms",
                 "hold ms", "/ tiny", "peak MiB"))
        for entries in [TINY] + sizes:
            for kind in ("snapshot", "text"):
                rows = self.rows.get((entries, kind), [])
                if not rows:
                    continue
                main = self.median(entries, kind, "main")
                peaks = [row["peak"] for row in rows if row["peak"]]
                hold = self.median(entries, kind, "hold")
                print("%10d  %-8s %4d %11.0f %7.2f %10.0f %11.0f %8.0f %7.2f %9s"
                      % (entries, kind, len(rows), main, main / self.median(TINY, kind, "main"),
                         self.median(entries, kind, "splash"), self.median(entries, kind, "fade"),
                         hold, hold / self.median(TINY, kind, "hold"),
                         "%.0f" % (max(peaks) / 1024) if peaks else "?"))
        print()
        print("splash-hold baseline: the program holds the splash %d ms after its fade-in, load"
              " included;\nthe tiny index's hold (fade-in end to main window) was %.0f ms"
              % (HOLD_MS, self.median(TINY, "snapshot", "hold")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("windows_build")
    parser.add_argument("release_build")
    parser.add_argument("sizes", nargs="*", type=int)
    parser.add_argument("--quick", action="store_true", help="1,000,000 entries only, 3 runs")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--text-runs-10m", type=int, default=None,
                        help="fewer text starts for 10,000,000 entries and more")
    parser.add_argument("--bare", action="store_true",
                        help="do not mark mapped windows as a window manager would (Wine then"
                             " waits 2 s at the splash's close)")
    parser.add_argument("--work", default=None, help="default: a new folder in /tmp, removed at the end")
    args = parser.parse_args()
    sizes = args.sizes or ([1_000_000] if args.quick else [1_000_000, 10_000_000])
    runs = 3 if args.quick and args.runs == 5 else args.runs
    own_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="tandrel-startup-")
    os.makedirs(args.work, exist_ok=True)
    prefix = os.path.join(os.path.abspath(args.windows_build), "startup-benchmark-wineprefix")

    display = Display()
    wine = Wine(prefix, display.name)
    try:
        watch = XWatch(display.name, answer_maps=not args.bare)
        bench = Bench(args, wine, watch)
        print("display %s, prefix %s, work %s, load average %.1f %.1f %.1f"
              % ((display.name, prefix, args.work) + os.getloadavg()), file=sys.stderr)
        for entries in [TINY] + sizes:
            bench.folder(entries)
        wine.prepare()
        latency = watch.latency_ms(display.name)
        # One unmeasured start: the first window of a fresh server pays for Wine's desktop.
        bench.start(TINY, "text")
        bench.rows.clear()
        for round_number in range(runs):
            for entries in [TINY] + sizes:
                text_runs = args.text_runs_10m if entries >= 10_000_000 and args.text_runs_10m else runs
                # A text start writes the snapshot that the snapshot start after it reads.
                if round_number < text_runs or not snapshot_written(bench.folder(entries)):
                    bench.start(entries, "text")
                bench.start(entries, "snapshot")
        print("\nmedians; each start timed from just before the Wine loader starts until the main"
              " window is mapped;\nthe X event that reports a map arrives %.2f ms after it (median of"
              " 20 probes). Load average at the end: %.1f %.1f %.1f" % ((latency,) + os.getloadavg()))
        bench.table(sizes)
    finally:
        wine.stop()
        display.close()
        if own_work:
            shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    main()

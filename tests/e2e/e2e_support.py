#!/usr/bin/env python3
"""What the end-to-end tests share: paths, the driver, and the program in a folder of its own.

Every test starts the program in a fresh copy of its folder, so files it writes there
(settings.conf) and files a test prepares (db.db, update.exe) belong to that test alone.
"""
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXE = os.environ.get("TANDREL_EXE", "")
DRIVER = os.environ.get("TANDREL_DRIVER", "")
BUILD = os.environ.get("TANDREL_BUILD_DIR") or os.path.dirname(os.path.dirname(EXE or "."))
PREFIX = os.environ.get("WINEPREFIX") or os.path.join(BUILD, "wineprefix")
ARTIFACTS = os.environ.get("TANDREL_ARTIFACTS") or os.path.join(BUILD, "e2e-artifacts")
WINE_RUN = os.path.join(REPO, "cmake", "wine-run.sh")
# Program folders and other scratch folders of the tests; each made with a unique name, so
# runs at the same time never share one.
RUNS = os.path.join(BUILD, "e2e-run")
WINE = subprocess.run(["bash", WINE_RUN, "--which"], stdout=subprocess.PIPE, check=True,
                      timeout=30).stdout.decode().strip()

# The program's numbers of controls, menu items and status fields, written by the build
# from app/object_numbers.h, so that the tests use the numbers the program was built with.
sys.path.insert(0, os.path.join(BUILD, "generated", "python"))
from object_numbers import ControlId, FieldId, ItemId  # noqa: E402

MAIN = "Tandrel"
SPLASH = "Lade..."
# Wine's first start of a window in a loaded prefix can take many seconds.
START_TIMEOUT_MS = 60000
# Starts whose main window never showed and that were started again.
RESTARTS = []


def wine_env():
    env = dict(os.environ)
    env.update(WINEPREFIX=PREFIX, WINEDEBUG="-all", LANG="en_US.UTF-8", LC_ALL="C.UTF-8")
    return env


def drive(*args, timeout=90):
    """Runs one driver verb; returns (exit code, stdout as Windows-1252 text)."""
    # Into a file, not a pipe: a Wine process the driver starts (the desktop's) may hold
    # its output open long after the driver has ended.
    with tempfile.TemporaryFile() as out:
        code = subprocess.run([WINE, DRIVER] + [str(a) for a in args], env=wine_env(),
                              stdout=out, stderr=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        text = out.read().decode("cp1252", errors="replace")
    if text.endswith("\n"):
        text = text[:-1]
    return code, text


def drive_ok(*args):
    code, text = drive(*args)
    if code != 0:
        raise AssertionError("driver %s failed with %d" % (" ".join(map(str, args)), code))
    return text


def numbers(text):
    return [int(word) for word in text.split()]


def screenshot(name):
    os.makedirs(ARTIFACTS, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(ARTIFACTS, name + ".png")],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def scratch_folder(prefix):
    os.makedirs(RUNS, exist_ok=True)
    return tempfile.mkdtemp(prefix=prefix, dir=RUNS)


def poll(condition, timeout_s=20.0):
    deadline = time.monotonic() + timeout_s
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.1)


TREES = os.path.join(BUILD, "e2e-trees")
BIG_FOLDERS, BIG_FILES = 200, 500  # 100,000 files: a walk of a few seconds under Wine


def windows_path(path):
    """The folder as the program under Wine sees it: drive Z: is the host's root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def big_tree():
    """A tree of 100,000 files, made once for every run; runs at the same time wait while
    one of them makes it."""
    root = os.path.join(TREES, "big")
    done = os.path.join(TREES, "big.done")
    os.makedirs(TREES, exist_ok=True)
    with open(os.path.join(TREES, "big.lock"), "wb") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(done):
            shutil.rmtree(root, ignore_errors=True)
            for d in range(BIG_FOLDERS):
                folder = os.path.join(root, "Ordner %03d" % d)
                os.makedirs(folder)
                for f in range(BIG_FILES):
                    open(os.path.join(folder, "Datei %d.txt" % f), "wb").close()
            open(done, "wb").close()
    return root


def index_bytes(records):
    return b"".join(name + b"\r\n" + folder + b"\r\n" + bytes([kind])
                    for name, folder, kind in records)


class Tandrel:
    """The program started in a folder of its own; always ended on leaving."""

    def __init__(self, files=None, folder_prefix="t"):
        self.folder = scratch_folder(folder_prefix)
        shutil.copy(EXE, os.path.join(self.folder, "Tandrel.exe"))
        for name, data in (files or {}).items():
            with open(os.path.join(self.folder, name), "wb") as out:
                out.write(data)
        self.process = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def windows_path(self, name=""):
        """The path as the program sees it: Wine's drive Z: is the root of the file system."""
        return "Z:" + os.path.join(self.folder, name).rstrip("/").replace("/", "\\")

    def __enter__(self):
        self.start()
        return self

    def start(self):
        runner = os.path.join(REPO, "cmake", "wine-run.sh")
        command = ["bash", runner] if os.path.exists(runner) else [WINE]
        self.process = subprocess.Popen(command + [self.path("Tandrel.exe")], cwd=self.folder,
                                        env=wine_env(), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def wait_main(self):
        code, _ = drive("wait-window", MAIN, START_TIMEOUT_MS)
        if code != 0 and self.process.poll() is None:
            # Now and then a Wine start in a busy prefix never shows its first window;
            # the program then gets one more start before the test counts it failed.
            # Once per run: a second such start is a real start-up hang, not Wine's.
            RESTARTS.append(self.folder)
            print("e2e: the main window did not show; starting once more (%d in this run)"
                  % len(RESTARTS), file=sys.stderr)
            if len(RESTARTS) > 1:
                raise AssertionError("the main window failed to show a second time in this run")
            self.process.kill()
            self.process.wait(timeout=30)
            self.start()
            code, _ = drive("wait-window", MAIN, START_TIMEOUT_MS)
        if code != 0:
            raise AssertionError("the main window did not open")

    def wait_exit(self, timeout_s=20):
        try:
            self.process.wait(timeout=timeout_s)
            return True
        except subprocess.TimeoutExpired:
            return False

    def __exit__(self, kind, *exc):
        if kind is not None:
            # What the screen showed when the test failed, named by the program folder.
            screenshot("failed-" + os.path.basename(self.folder))
            print("e2e: screenshot failed-%s.png" % os.path.basename(self.folder), file=sys.stderr)
        if self.process.poll() is None:
            drive("command", MAIN, ItemId.kItemQuit)
            if not self.wait_exit(15):
                self.process.kill()
                self.process.wait(timeout=30)
        shutil.rmtree(self.folder, ignore_errors=True)
        return False

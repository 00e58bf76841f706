#!/usr/bin/env python3
"""End-to-end tests of indexing: "Aktualisieren", quitting during a run, tdl index killed
at random moments, and the companion re-indexer Vexoran.exe."""
import os
import random
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from e2e_support import *  # noqa: F401,F403

TDL = os.environ.get("TANDREL_TDL", "")
VEXORAN = os.environ.get("TANDREL_VEXORAN", "")
# The menu items an indexing run greys out while it walks.
BUSY_ITEMS = (ItemId.kItemManageFolders, ItemId.kItemUpdateIndex, ItemId.kItemProgramUpdate)
def small_tree(parent):
    root = os.path.join(parent, "zwei")
    os.makedirs(os.path.join(root, "Unter"))
    for name in ("Brief.txt", "Rechnung.pdf"):
        open(os.path.join(root, name), "wb").close()
    open(os.path.join(root, "Unter", "notiz.txt"), "wb").close()
    return root


def settings(*folders):
    return b"0\r\n" + b"".join(windows_path(f).encode("cp1252") + b"\r\n" for f in folders)


OLD_INDEX = index_bytes([(b"alt%d.txt" % i, b"C:\\alt", 0) for i in range(7)])


def record_count(data):
    # Every record ends with CR LF, a kind byte; names and folders hold no CR.
    return data.count(b"\r\n") // 2


class Watcher:
    """Follows status field 3 until the run's final text, from a driver of its own."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "watched.txt")
        with open(self.path, "wb") as out:
            self.process = subprocess.Popen(
                [WINE, DRIVER, "watch-status", MAIN, str(FieldId.kProgressField), "120000", "\tIndexierung erfolgreich"],
                env=wine_env(), stdout=out, stderr=subprocess.DEVNULL)

    def reading(self):
        """Whether it has printed the field's first text (or ended)."""
        return os.path.getsize(self.path) > 0 or self.process.poll() is not None

    def wait(self, timeout_s):
        """The exit code (None: still watching after timeout_s) and the texts seen."""
        try:
            code = self.process.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=30)
            code = None
        with open(self.path, "rb") as seen:
            return code, seen.read().decode("cp1252").rstrip("\n").split("\n")


def menu_states():
    lines = [line.split("\t") for line in drive_ok("menu-items", MAIN).splitlines()]
    return {int(line[1]): line[2] for line in lines if line[1].isdigit()}


class UpdateIndexTest(unittest.TestCase):
    def test_aktualisieren_builds_the_index_from_two_folders(self):
        tree = big_tree()
        app = Tandrel({"db.db": OLD_INDEX})
        zwei = small_tree(app.folder)
        with open(app.path("settings.conf"), "wb") as out:
            out.write(settings(tree, zwei))
        with app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemAbout)
            # The old index, or with the live index's catch-up over one or both folders.
            about = drive_ok("message-box", 20000)
            big = BIG_FOLDERS * BIG_FILES + BIG_FOLDERS
            self.assertTrue(any("Index enth\xe4lt %d Dateien." % n in about for n in (7, 7 + big, 7 + big + 4)), about)
            self.assertEqual(drive("close-message-box", 10000)[0], 0)

            watcher = Watcher(app.folder)
            self.assertTrue(poll(watcher.reading, 30), "the status watcher did not start")
            drive_ok("command", MAIN, ItemId.kItemUpdateIndex)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kProgressField).startswith("\tIndexieren ("), 30))
            states = menu_states()
            screenshot("indexing_walk")
            self.assertEqual([states[i] for i in BUSY_ITEMS], ["greyed"] * 3,
                             "still walking when the menu was read: %s" % drive_ok("status", MAIN, FieldId.kProgressField))
            code, texts = watcher.wait(150)
            self.assertEqual(code, 0, texts[-5:])
            files = BIG_FOLDERS * BIG_FILES + 3
            self.assertRegex(texts[-1], r"^\tIndexierung erfolgreich: %d Dateien in \d+ sek$" % files)
            counts = [int(m.group(1)) for t in texts for m in [re.match(r"\tIndexieren \((\d+) Dateien\)$", t)] if m]
            self.assertTrue(counts and counts == sorted(counts), counts)
            expected = ["\tIndexiere (0 Dateien)", "\tOptimiere Index...", "\tWarte auf Suchvorgang"]
            # The reload may show too briefly for the watcher; when seen, it comes last.
            seen = [t for t in texts if t in expected or t == "\tLade Index neu"]
            self.assertIn(seen, (expected, expected + ["\tLade Index neu"]), texts)
            self.assertLess(texts.index("\tIndexiere (0 Dateien)"),
                            texts.index("\tIndexieren (%d Dateien)" % counts[0]))
            self.assertEqual(drive_ok("status", MAIN, FieldId.kStateField), "\tFertig!")
            self.assertTrue(poll(lambda: [menu_states()[i] for i in BUSY_ITEMS] == ["enabled"] * 3, 10))

            entries = files + BIG_FOLDERS + 1
            drive_ok("command", MAIN, ItemId.kItemAbout)
            self.assertIn("Index enth\xe4lt %d Dateien." % entries, drive_ok("message-box", 20000))
            self.assertEqual(drive("close-message-box", 10000)[0], 0)
            with open(app.path("db.db"), "rb") as index:
                data = index.read()
            self.assertEqual(record_count(data), entries)
            self.assertTrue(data.startswith(b"Brief.txt\r\n" + windows_path(zwei).encode() + b"\r\n\x00"))
            self.assertFalse(os.path.exists(app.path("dbtemp.db")))

    def test_quitting_during_the_walk_keeps_the_old_index(self):
        tree = big_tree()
        # Ten times the tree: a walk far longer than the driver needs to quit.
        with Tandrel({"db.db": OLD_INDEX, "settings.conf": settings(*[tree] * 10)}) as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemUpdateIndex)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kProgressField).startswith("\tIndexieren ("), 30))
            self.assertTrue(os.path.exists(app.path("dbtemp.db")))
            drive_ok("command", MAIN, ItemId.kItemQuit)
            self.assertTrue(app.wait_exit(30), "still running")
            self.assertFalse(os.path.exists(app.path("dbtemp.db")))
            with open(app.path("db.db"), "rb") as index:
                self.assertEqual(index.read(), OLD_INDEX)


def run_windows(program, *args, cwd=None, env=None, stdout=subprocess.DEVNULL):
    return subprocess.Popen([WINE, program] + list(args), cwd=cwd, env=env or wine_env(),
                            stdout=stdout, stderr=subprocess.DEVNULL)


class KillTest(unittest.TestCase):
    def test_killed_tdl_index_leaves_the_old_or_the_new_index(self):
        tree = big_tree()
        folder = scratch_folder("k")
        db = os.path.join(folder, "db.db")
        env = wine_env()
        env["TMP"] = env["TEMP"] = windows_path(folder)  # the buckets, away from other runs
        try:
            started = time.monotonic()
            # The report goes to a file: a pipe stays open as long as the Wine server lives.
            with tempfile.TemporaryFile() as report:
                done = run_windows(TDL, "index", "--db", windows_path(db), windows_path(tree),
                                   env=env, stdout=report)
                done.wait(timeout=300)
                report.seek(0)
                out = report.read()
            duration = time.monotonic() - started
            self.assertEqual(done.returncode, 0)
            self.assertRegex(out.decode(), r"^Indexierung erfolgreich: %d Dateien in \d+ sek\r?\n$"
                             % (BIG_FOLDERS * BIG_FILES))
            with open(db, "rb") as index:
                fresh = index.read()
            self.assertEqual(record_count(fresh), BIG_FOLDERS * (BIG_FILES + 1))
            walk_file = os.path.join(folder, "dbtemp.db")

            def walking():
                try:
                    return os.path.getsize(walk_file) > 0
                except OSError:
                    return False

            # The first kill comes while the walk is under way, seconds before its end; the
            # others at random moments, some after the run has ended by itself.
            rng = random.Random(7)
            for attempt in range(6):
                with open(db, "wb") as index:
                    index.write(OLD_INDEX)
                process = run_windows(TDL, "index", "--db", windows_path(db), windows_path(tree), env=env)
                if attempt == 0:
                    self.assertTrue(poll(lambda: walking() or process.poll() is not None, 120) and
                                    process.poll() is None, "the walk was never seen under way")
                else:
                    time.sleep(rng.uniform(0.3, duration * 1.1))
                ended_by_itself = process.poll() is not None
                process.kill()
                process.wait(timeout=60)
                with open(db, "rb") as index:
                    now = index.read()
                self.assertIn(now, (OLD_INDEX, fresh), "kill %d: %d bytes" % (attempt, len(now)))
                if attempt == 0:
                    self.assertEqual(now, OLD_INDEX, "a kill during the walk replaced the index")
                if ended_by_itself:
                    self.assertEqual((process.returncode, now), (0, fresh), "kill %d" % attempt)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


class VexoranTest(unittest.TestCase):
    def make_program_folder(self):
        folder = scratch_folder("v")
        shutil.copy(VEXORAN, os.path.join(folder, "Vexoran.exe"))
        return folder

    def test_renews_the_index_in_its_own_folder(self):
        folder = self.make_program_folder()
        try:
            zwei = small_tree(folder)
            with open(os.path.join(folder, "settings.conf"), "wb") as out:
                out.write(settings(zwei))
            with open(os.path.join(folder, "db.db"), "wb") as out:
                out.write(OLD_INDEX)
            # Started from elsewhere, as the Run key does at logon.
            process = run_windows(os.path.join(folder, "Vexoran.exe"), cwd=TREES if os.path.isdir(TREES) else "/")
            self.assertEqual(process.wait(timeout=60), 0)
            with open(os.path.join(folder, "db.db"), "rb") as index:
                data = index.read()
            z = windows_path(zwei).encode()
            self.assertEqual(data, index_bytes([(b"Brief.txt", z, 0), (b"notiz.txt", z + b"\\Unter", 0),
                                                (b"Rechnung.pdf", z, 0), (b"Unter", z, 1)]))
            self.assertFalse(os.path.exists(os.path.join(folder, "dbtemp.db")))
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_two_at_once_never_spoil_the_index(self):
        tree = big_tree()
        folder = self.make_program_folder()
        try:
            with open(os.path.join(folder, "settings.conf"), "wb") as out:
                out.write(settings(tree))
            exe = os.path.join(folder, "Vexoran.exe")
            first = run_windows(exe, cwd=folder)
            second = run_windows(exe, cwd=folder)
            self.assertEqual(first.wait(timeout=300), 0)
            self.assertEqual(second.wait(timeout=300), 0)
            with open(os.path.join(folder, "db.db"), "rb") as index:
                self.assertEqual(record_count(index.read()), BIG_FOLDERS * (BIG_FILES + 1))
            # db.snap is the run's snapshot of the new table, written beside db.db.
            leftovers = [n for n in os.listdir(folder)
                         if n not in ("Vexoran.exe", "settings.conf", "db.db", "db.snap")]
            self.assertEqual(leftovers, [])
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()

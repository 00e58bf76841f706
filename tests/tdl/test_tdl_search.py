#!/usr/bin/env python3
"""tdl from a shell: search hits, output forms, kind filters and exit statuses; index runs,
their arguments, messages and exit statuses; output that cannot be written.

Usage: test_tdl_search.py TDL [RUNNER]. With a runner (the Wine wrapper) the program is a
Windows build: paths are given in Wine's Z: form and folders end in backslashes.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

TDL = ""
RUNNER = []
WINDOWS = False


def record(name, folder, kind):
    return name + b"\r\n" + folder + b"\r\n" + bytes([kind])


def run(args, stdout=None):
    """Runs a program and returns (exit status, standard output, standard error).

    Its output goes to files, not pipes: a Wine server or service that the program starts
    keeps a pipe open after the program ends, and reading to its end would wait for them.
    """
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(RUNNER + args, stdout=out if stdout is None else stdout,
                              stderr=err, timeout=120)
        out.seek(0)
        err.seek(0)
        return done.returncode, out.read(), err.read()


RECORDS = [
    (b"Brief.txt", b"C:\\Post", 0),
    (b"Briefe", b"C:\\Post", 1),
    (b"Liebesbrief.doc", b"C:\\Post\\Alt", 0),
    (b"Notiz.txt", b"C:\\Brief", 0),
    (b"\xdcbersicht.pdf", b"D:\\Gr\xf6\xdfe", 0),
    (b"cdab", b"C:", 0),
]


class TdlSearchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tdl-")
        cls.db = os.path.join(cls.folder, "db.db")
        with open(cls.db, "wb") as out:
            out.write(b"".join(record(*r) for r in RECORDS))
        # A copy of tdl beside the index, to see that it finds db.db there by itself.
        cls.beside = os.path.join(cls.folder, os.path.basename(TDL))
        shutil.copy(TDL, cls.beside)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def run_tdl(self, *args, program=None):
        return run([program or TDL] + list(args))

    def db_arg(self, path=None):
        path = path or self.db
        return "Z:" + path.replace("/", "\\") if WINDOWS else path

    def sep(self):
        return b"\\" if WINDOWS else b"/"

    def test_hits_are_full_paths_in_index_order(self):
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "brief")
        self.assertEqual(code, 0)
        s = self.sep()
        self.assertEqual(out, b"C:\\Post" + s + b"Brief.txt\n" + b"C:\\Post" + s + b"Briefe\n" +
                         b"C:\\Post\\Alt" + s + b"Liebesbrief.doc\n")

    def test_tsv_and_count_and_the_kind_filters(self):
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--tsv", "--folders", "brief")
        self.assertEqual((code, out), (0, b"Briefe\tC:\\Post\t1\n"))
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--count", "--files", "brief")
        self.assertEqual((code, out), (0, b"2\n"))
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--count", "   ")
        self.assertEqual((code, out), (0, b"6\n"))

    def test_matching_is_the_windows_rule(self):
        # Raw bytes of the code page: the query \xfc folds to the name's \xdc.
        # Wine turns a UTF-8 argument into the code page; natively the byte goes as it is.
        query = "\u00fcber".encode("utf-8") if WINDOWS else b"\xfcber"
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--tsv", query)
        self.assertEqual((code, out), (0, b"\xdcbersicht.pdf\tD:\\Gr\xf6\xdfe\t0\n"))
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--count", "ab*cd")
        self.assertEqual((code, out), (1, b"0\n"), "the order test uses first occurrences")
        code, out, _ = self.run_tdl("search", "--db", self.db_arg(), "--count", "txt brief")
        self.assertEqual((code, out), (0, b"1\n"))

    def test_the_index_beside_the_program_is_the_default(self):
        code, out, _ = self.run_tdl("search", "--count", "notiz", program=self.beside)
        self.assertEqual((code, out), (0, b"1\n"))

    def test_exit_statuses(self):
        self.assertEqual(self.run_tdl("search", "--db", self.db_arg(), "zzzz")[0:2], (1, b""))
        code, out, err = self.run_tdl("search", "--db", self.db_arg(), "ab")
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b"Mindestens 3 Zeichen", err)
        self.assertEqual(self.run_tdl("search", "--db", self.db_arg(), "a*b*")[0], 2)
        missing = self.db_arg(os.path.join(self.folder, "missing.db"))
        self.assertEqual(self.run_tdl("search", "--db", missing, "brief")[0], 2)
        self.assertEqual(self.run_tdl("search", "--db", self.db_arg(), "--files", "--folders", "abc")[0], 2)
        self.assertEqual(self.run_tdl("search", "--db", self.db_arg(), "two", "words")[0], 2)
        self.assertEqual(self.run_tdl("search", "--db", self.db_arg())[0], 2)
        code, _, err = self.run_tdl("search", "--bogus", "abc")
        self.assertEqual(code, 2)
        self.assertIn(b"unknown option '--bogus'", err)
        self.assertEqual(self.run_tdl("frobnicate")[0], 2)
        self.assertEqual(self.run_tdl()[0], 2)

    def run_to_full_disk(self, *args):
        with open("/dev/full", "wb") as full:
            code, _, err = run([TDL] + list(args), stdout=full)
        return code, err

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_output_that_cannot_be_written_fails(self):
        for args in (["search", "--db", self.db_arg(), "brief"],
                     ["search", "--db", self.db_arg(), "--count", "brief"],
                     ["--help"]):
            code, err = self.run_to_full_disk(*args)
            self.assertEqual(code, 2, args)
            self.assertIn(b"cannot write to standard output", err)

    def test_help_describes_the_commands(self):
        code, out, _ = self.run_tdl("--help")
        self.assertEqual(code, 0)
        self.assertIn(b"search", out)
        self.assertIn(b"index", out)
        code, out, _ = self.run_tdl("search", "--help")
        self.assertEqual(code, 0)
        self.assertIn(b"--tsv", out)
        self.assertIn(b"QUERY", out)


class TdlIndexTest(unittest.TestCase):
    """tdl index over folders given on the command line."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tdl-index-")
        self.tree = os.path.join(self.folder, "tree")
        os.mkdir(self.tree)
        with open(os.path.join(self.tree, "neu.txt"), "wb") as out:
            out.write(b"n")
        self.db = os.path.join(self.folder, "db.db")
        self.old = record(b"alt.txt", b"C:\\", 0)
        with open(self.db, "wb") as out:
            out.write(self.old)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, path):
        return "Z:" + path.replace("/", "\\") if WINDOWS else path

    def index(self, *folders, stdout=None):
        return self.run_index("--db", self.path(self.db), *[
            f if f.startswith("--") else self.path(f) for f in folders], stdout=stdout)[0::2]

    def run_index(self, *args, stdout=None, program=None):
        return run([program or TDL, "index"] + list(args), stdout=stdout)

    def db_bytes(self):
        with open(self.db, "rb") as index:
            return index.read()

    def test_folders_that_cannot_be_listed_are_named_and_if_none_can_the_index_stays(self):
        gone = os.path.join(self.folder, "unplugged")
        typo = os.path.join(self.folder, "tre")
        code, err = self.index(gone, typo)
        self.assertEqual(code, 2)
        self.assertIn(b"cannot list the folder " + self.path(gone).encode(), err)
        self.assertIn(b"cannot list the folder " + self.path(typo).encode(), err)
        self.assertEqual(self.db_bytes(), self.old)

        code, err = self.index(gone, self.tree)
        self.assertEqual(code, 0)
        self.assertIn(b"cannot list the folder " + self.path(gone).encode(), err)
        self.assertTrue(self.db_bytes().startswith(b"neu.txt\r\n"))

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_output_that_cannot_be_written_fails(self):
        with open("/dev/full", "wb") as full:
            code, err = self.index(self.tree, stdout=full)
        self.assertEqual(code, 2)
        self.assertIn(b"cannot write to standard output", err)

    def test_a_run_replaces_the_index_and_reports_on_standard_output(self):
        code, out, err = self.run_index("--db", self.path(self.db), self.path(self.tree))
        self.assertEqual((code, err), (0, b""))
        self.assertRegex(out, rb"^Indexierung erfolgreich: 1 Dateien in \d+ sek\r?\n$")
        self.assertEqual(self.db_bytes(), record(b"neu.txt", self.path(self.tree).encode(), 0))
        left = os.listdir(self.folder)
        self.assertNotIn("dbtemp.db", left)
        self.assertNotIn("db.db.new", left)

    def test_the_folders_come_from_the_settings_file(self):
        settings = os.path.join(self.folder, "folders.conf")
        tree = self.path(self.tree).encode()
        with open(settings, "wb") as out:
            out.write(b"0\r\n" + tree + b"\r\n\r\n" + tree + b"\r\n")
        code, out, _ = self.run_index("--db", self.path(self.db), "--settings", self.path(settings))
        self.assertEqual(code, 0)
        self.assertIn(b" 2 Dateien in ", out, "a folder listed twice is walked twice")
        # Without options: settings.conf and db.db beside the program.
        beside = os.path.join(self.folder, os.path.basename(TDL))
        shutil.copy(TDL, beside)
        os.rename(settings, os.path.join(self.folder, "settings.conf"))
        os.remove(self.db)
        self.assertEqual(self.run_index(program=beside)[0], 0)
        self.assertEqual(self.db_bytes(), 2 * record(b"neu.txt", tree, 0))

        missing = os.path.join(self.folder, "missing.conf")
        code, _, err = self.run_index("--db", self.path(self.db), "--settings", self.path(missing))
        self.assertEqual(code, 2)
        self.assertIn(b"cannot read the settings file", err)
        self.assertFalse(os.path.exists(missing), "a missing settings file is not created")

    def test_usage_errors_change_nothing(self):
        db = self.path(self.db)
        conf = self.path(os.path.join(self.folder, "settings.conf"))
        for args, message in ((["--db"], b"--db needs a file"),
                              (["--db", db, "--settings"], b"--settings needs a file"),
                              (["--db", db, "--settings", conf, self.path(self.tree)],
                               b"give FOLDERs or --settings, not both"),
                              (["--db", db, ""], b"an empty folder name")):
            code, out, err = self.run_index(*args)
            self.assertEqual((code, out), (2, b""), args)
            self.assertIn(b"tdl index: " + message, err)
            self.assertIn(b"usage: tdl index", err)
        self.assertEqual(self.db_bytes(), self.old)
        code, out, _ = self.run_index("--help")
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(b"usage: tdl index [--db FILE]"))

    def test_an_index_that_cannot_be_written_keeps_the_previous_one(self):
        nowhere = os.path.join(self.folder, "missing", "db.db")
        code, out, err = self.run_index("--db", self.path(nowhere), self.path(self.tree))
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b"tdl index: cannot write the walk file; " + self.path(nowhere).encode() +
                      b" keeps the previous index", err)
        # A folder where the index file should be cannot be replaced by the new index.
        os.remove(self.db)
        os.mkdir(self.db)
        code, out, err = self.run_index("--db", self.path(self.db), self.path(self.tree))
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b"tdl index: cannot replace the index file", err)
        self.assertEqual(os.listdir(self.db), [])

    def test_an_unknown_option_is_named(self):
        code, err = self.index("--frobnicate")
        self.assertEqual(code, 2)
        self.assertIn(b"unknown option '--frobnicate'", err)
        self.assertEqual(self.db_bytes(), self.old)


class TdlWatchTest(unittest.TestCase):
    """tdl watch keeps db.db and its journal current, at any depth, for tdl search."""

    def setUp(self):
        if WINDOWS:
            self.skipTest("natively only: Wine reports no changes below a watched folder's top level")
        self.folder = tempfile.mkdtemp(prefix="tdl-watch-")
        self.tree = os.path.join(self.folder, "tree")
        os.makedirs(os.path.join(self.tree, "a", "b"))
        open(os.path.join(self.tree, "a", "da.txt"), "wb").close()
        self.db = os.path.join(self.folder, "db.db")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def hits(self, query):
        code, out, _ = run([TDL, "search", "--db", self.db, query])
        return out.decode("latin-1").splitlines() if code in (0, 1) else None  # 1: no hits

    def poll(self, check, seconds=20):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if check():
                return True
            time.sleep(0.05)
        return False

    def test_changes_at_any_depth_reach_tdl_search_and_an_end_request_ends_it(self):
        with tempfile.TemporaryFile() as err:
            watch = subprocess.Popen([TDL, "watch", "--db", self.db, self.tree], stdout=subprocess.DEVNULL, stderr=err)
            try:
                deep = os.path.join(self.tree, "a", "b")
                self.assertTrue(self.poll(lambda: self.hits("da.txt") == [os.path.join(self.tree, "a", "da.txt")]))
                # One writer at a time: a second watch of the same index is refused.
                code, _, second_err = run([TDL, "watch", "--db", self.db, self.tree])
                self.assertEqual(code, 2)
                self.assertIn(b"another run or watch holds the index", second_err)

                open(os.path.join(deep, "frisch.txt"), "wb").close()
                self.assertTrue(self.poll(lambda: self.hits("frisch") == [os.path.join(deep, "frisch.txt")]))
                os.rename(os.path.join(self.tree, "a"), os.path.join(self.folder, "weg"))
                self.assertTrue(self.poll(lambda: self.hits("txt") == []), "a folder moved out keeps its entries")
                watch.send_signal(signal.SIGINT)
                self.assertEqual(watch.wait(timeout=20), 0)
            finally:
                if watch.poll() is None:
                    watch.kill()
                    watch.wait()
            # What it kept stays for the next reader.
            self.assertEqual(self.hits("txt"), [])

    def test_usage_errors(self):
        code, out, err = run([TDL, "watch", "--db", self.db, "--settings", self.db, self.tree])
        self.assertEqual((code, out), (2, b""))
        self.assertIn(b"tdl watch: give FOLDERs or --settings, not both", err)
        self.assertIn(b"usage: tdl watch", err)
        self.assertFalse(os.path.exists(self.db))


if __name__ == "__main__":
    TDL = os.path.abspath(sys.argv[1])
    RUNNER = sys.argv[2:]
    WINDOWS = bool(RUNNER)
    sys.argv = sys.argv[:1]
    result = unittest.main(exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() else 1)

#!/usr/bin/env python3
"""End-to-end tests of the program update: the carried updater written and started from the
menu, and update.exe installing a signed release from a loopback HTTP server."""
import filecmp
import functools
import http.server
import os
import shutil
import subprocess
import threading
import unittest

from e2e_support import (MAIN, REPO, ItemId, Tandrel, drive, drive_ok, poll, scratch_folder,
                         screenshot, wine_env)

UPDATER = os.environ.get("TANDREL_UPDATER", "")
# Where the test builds' update.exe fetches from (the UpdateServerHost cache variable).
SERVER_HOST = os.environ.get("TANDREL_UPDATE_SERVER_HOST", "127.0.0.1:8087")
# Published by the Linux tdl with the test key; test_tdl_publish.py republishes it from
# files/ and checks that the bytes are the same.
RELEASE = os.path.join(REPO, "tests", "tdl", "release")
RELEASE_FILES = ["readme.txt", os.path.join("sub", "data.bin"), "version"]
RELEASE_FOLDER = "Orvane/files/soft/tdl"


def message_box(timeout_ms=60000):
    code, text = drive("message-box", timeout_ms)
    if code != 0:
        raise AssertionError("no message box")
    title, _, body = text.partition("\n")
    return title, body


def close_message_box():
    if drive("close-message-box", 10000)[0] != 0:
        raise AssertionError("the message box did not close")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class UpdateServer:
    """A plain static web server on the loopback address the updater was built for."""

    def __init__(self, files):
        self.root = scratch_folder("srv")
        os.makedirs(os.path.join(self.root, RELEASE_FOLDER))
        for name, data in files.items():
            with open(os.path.join(self.root, RELEASE_FOLDER, name), "wb") as out:
                out.write(data)
        host, port = SERVER_HOST.rsplit(":", 1)
        handler = functools.partial(QuietHandler, directory=self.root)
        self.server = http.server.ThreadingHTTPServer((host, int(port)), handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()
        shutil.rmtree(self.root, ignore_errors=True)
        return False


def tandrel_started_with(argument):
    """Whether a Wine process of Tandrel.exe runs with that argument."""
    done = subprocess.run(["ps", "-eo", "args"], stdout=subprocess.PIPE, timeout=30)
    return any("Tandrel.exe" in line and line.rstrip().endswith(" " + argument)
               for line in done.stdout.decode(errors="replace").splitlines())


@unittest.skipUnless(UPDATER and os.path.exists(UPDATER), "needs TANDREL_UPDATER")
class UpdateTest(unittest.TestCase):
    def test_menu_writes_the_carried_updater_and_ends(self):
        with open(UPDATER, "rb") as built:
            updater = built.read()
        with Tandrel({"settings.conf": b"0\r\n"}) as app:
            app.wait_main()
            with open(app.path("settings.conf"), "rb") as f:
                settings_bytes = f.read()
            drive_ok("command", MAIN, ItemId.kItemProgramUpdate)
            self.assertTrue(app.wait_exit(30), "Tandrel did not end")
            with open(app.path("update.exe"), "rb") as written:
                self.assertEqual(written.read(), updater)
            # The hand-over stores the autostart flag as quitting does: unchanged here, so
            # the file holds the same bytes.
            with open(app.path("settings.conf"), "rb") as f:
                self.assertEqual(f.read(), settings_bytes)
            # The updater runs on: with no server it says so, never "up to date".
            title, body = message_box()
            screenshot("update_no_server")
            self.assertEqual((title, body), ("Error", "Die Updatebeschreibung konnte nicht geladen werden!\n"
                                                      "Bitte sp\u00e4ter erneut versuchen."))
            close_message_box()
            # It starts Tandrel again, whose start-up removes update.exe.
            self.assertEqual(drive("wait-window", MAIN, 60000)[0], 0)
            self.assertTrue(poll(lambda: not os.path.exists(app.path("update.exe")), 30))
            drive("command", MAIN, ItemId.kItemQuit)
            poll(lambda: drive("wait-gone", MAIN, 1000)[0] == 0, 30)

    def test_an_updater_that_cannot_be_written_is_reported_and_nothing_is_started(self):
        app = Tandrel({"settings.conf": b"0\r\n"})
        # A folder of that name: the start cannot remove it, and no file can take its place.
        os.mkdir(app.path("update.exe"))
        with app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemProgramUpdate)
            self.assertEqual(message_box(), ("Fehler", "Konnte update.exe nicht schreiben!"))
            close_message_box()
            self.assertTrue(app.wait_exit(30), "Tandrel did not end")
            self.assertTrue(os.path.isdir(app.path("update.exe")))

    def test_update_installs_a_release_made_by_tdl_publish(self):
        served = {}
        for name in ("version.def", "update.pak"):
            with open(os.path.join(RELEASE, name), "rb") as f:
                served[name] = f.read()
        files = {"version": bytes([1, 3, 9]), "readme.txt": b"old readme"}
        with UpdateServer(served):
            # Not entered: Tandrel is not running while the updater installs.
            app = Tandrel(files)
            os.mkdir(app.path("sub"))
            shutil.copy(UPDATER, app.path("update.exe"))
            app.process = subprocess.Popen(
                ["bash", os.path.join(REPO, "cmake", "wine-run.sh"), app.path("update.exe")],
                cwd=app.folder, env=wine_env(), stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            try:
                title, body = message_box()
                screenshot("update_installed")
                self.assertEqual(title, "Update")
                self.assertEqual(body, "Aktualisieren erfolgreich. Von 1.3.9 auf 1.4.0 aktualisiert!"
                                       "\n\n-Schneller \n-Signiert")
                for name in RELEASE_FILES:
                    self.assertTrue(filecmp.cmp(os.path.join(RELEASE, "files", name), app.path(name),
                                                shallow=False), name)
                for left in ("version.def", "update.pak", "update.journal", "version.serial.tdl-new"):
                    self.assertFalse(os.path.exists(app.path(left)), left)
                # The updater keeps the installed release's serial beside "version".
                with open(app.path("version.serial"), "rb") as f:
                    self.assertEqual(f.read(), b"1\r\n")
                close_message_box()
                self.assertEqual(drive("wait-window", MAIN, 60000)[0], 0)
                self.assertTrue(poll(lambda: tandrel_started_with("update"), 10))
                self.assertTrue(poll(lambda: not os.path.exists(app.path("update.exe")), 30))
                drive("command", MAIN, ItemId.kItemQuit)
                poll(lambda: drive("wait-gone", MAIN, 1000)[0] == 0, 30)
            finally:
                app.__exit__(None, None, None)

if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""End-to-end tests of the actions on hits: opening a program, copying through the real
folder requester with the status fields counting, cancelling, the context-menu key, Ctrl+C,
and dragging hits onto a drop target window of the driver's."""
import os
import shutil
import subprocess
import tempfile
import unittest

from e2e_support import *  # noqa: F401,F403

VK_RETURN = 13
PROBE = os.path.join(os.path.dirname(DRIVER), "tandrel_cwd_probe.exe")
SIZE = 160 << 20  # large enough that copying eight of them takes a few seconds


def win(path):
    return "Z:" + path.replace("/", "\\")


def dropped_lines(path):
    """What the drop target has printed so far (paths in UTF-8)."""
    with open(path, "rb") as got:
        return got.read().decode("utf-8").split("\n")


def stored(text):
    """The program's form of a name or path: Windows-1252, "?" for each character it lacks."""
    return text.encode("cp1252", errors="replace")


class ResultActionsTest(unittest.TestCase):
    def search(self, query):
        drive_ok("set-text", MAIN, ControlId.kQueryField, query)
        drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
        self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))

    def test_a_program_hit_starts_in_its_own_folder(self):
        app = Tandrel()
        apps = app.path("apps")
        os.makedirs(apps)
        shutil.copy(PROBE, os.path.join(apps, "probe.exe"))
        with open(app.path("db.db"), "wb") as out:
            out.write(index_bytes([(b"probe.exe", win(apps).encode(), 0)]))
        with app:
            app.wait_main()
            self.search("probe")
            drive_ok("list-select", MAIN, ControlId.kResultList, 0)
            drive_ok("command", MAIN, ItemId.kItemOpen)
            told = os.path.join(apps, "probe.exe.cwd")
            self.assertTrue(poll(lambda: os.path.exists(told) and os.path.getsize(told) > 0, 30))
            with open(told, "rb") as got:
                self.assertEqual(got.read().decode("utf-8").lower(), win(apps).lower())

    def test_copying_through_the_requester_counts_down_and_cancel_stops_it(self):
        names = ["big%d.bin" % i for i in range(8)]
        chunk = os.urandom(1 << 20)
        app = Tandrel()
        source = app.path("source")
        os.makedirs(source)
        for name in names:
            with open(os.path.join(source, name), "wb") as out:
                for _ in range(SIZE >> 20):
                    out.write(chunk)
        with open(app.path("db.db"), "wb") as out:
            out.write(index_bytes([(n.encode(), win(source).encode(), 0) for n in names]))
        with app:
            app.wait_main()
            self.search("big")
            for row in range(len(names)):
                drive_ok("list-select", MAIN, ControlId.kResultList, row)

            target = app.path("target")
            os.makedirs(target)
            drive_ok("command", MAIN, ItemId.kItemCopyTo)
            self.assertIn("Kopieren nach...", drive_ok("requester-texts", 30000).split("\n"))
            screenshot("copy_requester")
            # The program logs each change of the copy and progress fields itself, the first
            # line at once.
            log_path = app.path("fields.txt")
            drive_ok("log-fields", MAIN, FieldId.kCopyField, FieldId.kProgressField, win(log_path))
            drive_ok("browse-folder", win(target), 30000)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kCopyField).startswith("\tWorking... ("), 30))
            screenshot("copy_in_progress")

            def logged():
                with open(log_path, "rb") as got:
                    return [line.split("|") for line in got.read().decode("cp1252").split("\n") if line]

            # Done when both fields, the copy field having shown the count, are empty again.
            self.assertTrue(poll(lambda: logged()[-1:] == [["", ""]] and any(a for a, _ in logged()), 120),
                            logged())
            seen = logged()
            busy = [(a, b) for a, b in seen if a]
            counts = [int(a[len("\tWorking... ("):-1]) for a, _ in busy]
            self.assertEqual(counts[0], len(names), seen)
            self.assertEqual(counts, sorted(counts, reverse=True), seen)
            self.assertEqual(counts[-1], 1, seen)
            self.assertTrue(all(b[1:] in names for _, b in busy if b), seen)
            self.assertIn("\t" + names[-1], [b for _, b in busy], seen)
            self.assertEqual(seen[-1], ["", ""])
            for name in names:
                self.assertEqual(os.path.getsize(os.path.join(target, name)), SIZE, name)

            # Again into a second folder, cancelled from the menu over the copy field.
            cancelled = app.path("cancelled")
            os.makedirs(cancelled)
            drive_ok("command", MAIN, ItemId.kItemCopyTo)
            drive_ok("browse-folder", win(cancelled), 30000)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kCopyField).startswith("\tWorking... ("), 30))
            _, height = numbers(drive_ok("client-size", MAIN))
            drive_ok("right-click-client", MAIN, 300, height - 8)
            drive_ok("pick-popup", 0, 10000)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kCopyField) == "", 60))
            made = os.listdir(cancelled)
            self.assertLess(len(made), len(names), "cancel stopped the queue")
            # Field 2 empties only once the worker has finished the copy under way.
            for name in made:
                self.assertEqual(os.path.getsize(os.path.join(cancelled, name)), SIZE, name)
            self.assertEqual(sorted(os.listdir(cancelled)), sorted(made), "nothing more after cancel")

    def prepare_three(self, app):
        folder = app.path("files")
        os.makedirs(folder)
        for name in ("eins.txt", "zwei.txt", "drei.txt"):
            with open(os.path.join(folder, name), "w") as out:
                out.write(name)
        with open(app.path("db.db"), "wb") as out:
            out.write(index_bytes([(n.encode(), win(folder).encode(), 0)
                                   for n in ("eins.txt", "zwei.txt", "drei.txt")]))
        return win(folder)

    def pointer_at_row(self, row):
        x, y, w, h = numbers(drive_ok("list-row-rect", MAIN, ControlId.kResultList, row))
        return numbers(drive_ok("screen-point", MAIN, x + 10, y + h // 2))

    def test_keys_open_the_menu_and_copy_paths_and_a_drag_offers_the_selected_files(self):
        app = Tandrel()
        folder = self.prepare_three(app)
        with app:
            app.wait_main()
            drive_ok("move", MAIN, 0, 0, 700, 500)
            self.search(".txt")
            rows = [drive_ok("list-row", MAIN, ControlId.kResultList, r).split("\t")[0] for r in range(3)]
            px, py = self.pointer_at_row(0)
            subprocess.run(["xdotool", "mousemove", str(px), str(py), "click", "1"], timeout=10)
            drive_ok("list-select", MAIN, ControlId.kResultList, 2)
            expected = [folder + "\\" + rows[0], folder + "\\" + rows[2]]

            subprocess.run(["xdotool", "key", "ctrl+c"], timeout=10)
            self.assertTrue(poll(lambda: drive_ok("clipboard-files").split("\n")[:2] == expected, 10))
            listed = drive_ok("clipboard-files").split("\n")  # the text's own line breaks split it too
            self.assertEqual("\n".join(listed[2:]), "text=" + "\r\n".join(expected))

            for key in ("Menu", "shift+F10"):
                subprocess.run(["xdotool", "key", key], timeout=10)
                items = drive_ok("popup-items", 10000)
                self.assertIn("Kopieren nach", items, key)
                drive_ok("close-popup", 10000)

            lines = self.drag_onto_target(app, px, py)
            self.assertEqual(lines[1:3], expected)
            self.assertEqual(lines[3], "allowed=%d" % 1, "copying is the only effect offered")

    def drag_onto_target(self, app, px, py):
        """Drags the selected rows from the pointer position px, py onto a drop target
        window of the driver's; what the target printed."""
        out_path = app.path("dropped.txt")
        with open(out_path, "wb") as out:
            target = subprocess.Popen([WINE, DRIVER, "drop-target", "Ziel", "800", "100", "60000"],
                                      env=wine_env(), stdout=out, stderr=subprocess.DEVNULL)
        try:
            drive_ok("wait-window", "Ziel", 30000)
            steps = [(px + (950 - px) * i // 10, py + (250 - py) * i // 10) for i in range(11)]
            subprocess.run(["xdotool", "mousemove", str(px), str(py), "mousedown", "1"], timeout=10)
            for x, y in steps:
                subprocess.run(["xdotool", "mousemove", str(x), str(y)], timeout=10)
            # Released only once the drag has arrived over the target; meanwhile the
            # pointer moves a pixel to and fro there, as a hand does.
            nudges = []

            def arrived():
                if dropped_lines(out_path)[0] == "entered":
                    return True
                nudges.append(len(nudges) % 2)
                subprocess.run(["xdotool", "mousemove", str(950 + nudges[-1]), "250"], timeout=10)
                return False

            over = poll(arrived, 30)
            subprocess.run(["xdotool", "mouseup", "1"], timeout=10)
            self.assertTrue(over, "the drag never came over the target")
            target.wait(timeout=60)
        finally:
            if target.poll() is None:
                target.kill()
                target.wait(timeout=30)
        lines = dropped_lines(out_path)
        self.assertEqual(target.returncode, 0, lines)
        return lines

    def test_names_the_code_page_cannot_hold_are_indexed_opened_copied_and_dragged_as_themselves(self):
        # The program itself lies in a folder whose name holds a stroked L.
        app = Tandrel(folder_prefix="t\u0141")
        tree = app.path("\u0141\u00f3d\u017a")
        os.makedirs(os.path.join(tree, "..\uff3cx"))
        probe = "pr\uff02obe \u65e5.exe"  # a fullwidth quotation mark in a program's name
        shutil.copy(PROBE, os.path.join(tree, probe))
        report = "\u65e5\u672c Bericht.txt"
        data = os.urandom(4096)
        with open(os.path.join(tree, report), "wb") as out:
            out.write(data)
        with open(os.path.join(tree, "..\uff3cx", "inner.txt"), "wb") as out:
            out.write(b"inner")
        with open(app.path("settings.conf"), "wb") as out:
            out.write(b"0\r\n" + stored(win(tree)) + b"\r\n")
        with app:
            app.wait_main()
            drive_ok("move", MAIN, 0, 0, 700, 500)
            drive_ok("command", MAIN, ItemId.kItemUpdateIndex)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kProgressField)
                                 .startswith("\tIndexierung erfolgreich: 3 Dateien"), 60),
                            drive_ok("status", MAIN, FieldId.kProgressField))
            with open(app.path("db.db"), "rb") as index:
                lines = index.read().split(b"\r\n")
            records = [(lines[i], lines[i + 1]) for i in range(0, len(lines) - 1, 2)]
            records = [(name.lstrip(b"\x00\x01"), folder) for name, folder in records]
            self.assertIn((b"inner.txt", stored(win(tree)) + b"\\..?x"), records)
            for name, folder in records:
                self.assertNotIn(b"\\", name)
                self.assertNotIn(b'"', name)
                self.assertTrue(folder.startswith(stored(win(tree))), folder)

            # The run has shown "Fertig!" already: the rows tell when each search is done.
            def row_shows(text):
                return lambda: text in drive("list-row", MAIN, ControlId.kResultList, 0)[1]

            self.search("obe")
            self.assertTrue(poll(row_shows("pr?obe ?.exe"), 20))
            drive_ok("list-select", MAIN, ControlId.kResultList, 0)
            drive_ok("command", MAIN, ItemId.kItemOpen)
            told = os.path.join(tree, probe + ".cwd")
            self.assertTrue(poll(lambda: os.path.exists(told) and os.path.getsize(told) > 0, 30))
            with open(told, "rb") as got:
                self.assertEqual(got.read().decode("utf-8").lower(), win(tree).lower())

            self.search("Bericht")
            self.assertTrue(poll(row_shows("?? Bericht.txt"), 20))
            target = tempfile.mkdtemp(prefix="ziel", dir=os.path.dirname(app.folder))
            drive_ok("list-select", MAIN, ControlId.kResultList, 0)
            drive_ok("command", MAIN, ItemId.kItemCopyTo)
            drive_ok("browse-folder", win(target), 30000)
            copied = os.path.join(target, report)
            self.assertTrue(poll(lambda: os.path.exists(copied) and os.path.getsize(copied) == len(data), 30),
                            os.listdir(target))
            with open(copied, "rb") as got:
                self.assertEqual(got.read(), data)

            # The row is selected still; a click before the drag would make it a double click.
            px, py = self.pointer_at_row(0)
            lines = self.drag_onto_target(app, px, py)
            self.assertEqual(lines[1:2], [win(os.path.join(tree, report))])


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""End-to-end tests of the window: start, main window, menus, boxes, tray and quit."""
import os
import time
import unittest

from e2e_support import *  # noqa: F401,F403

class StartTest(unittest.TestCase):
    def test_splash_shows_before_main_window(self):
        with Tandrel() as app:
            # The splash's rectangle as found: it may close before the next driver start.
            code, found = drive("wait-window", SPLASH, START_TIMEOUT_MS)
            self.assertEqual(code, 0, "no splash window")
            seen = time.monotonic()
            screenshot("splash")
            self.assertEqual(numbers(found.split("\n")[1])[2:], [400, 200])
            app.wait_main()
            self.assertGreaterEqual(time.monotonic() - seen, 0.6)
            self.assertEqual(drive("wait-gone", SPLASH, 20000)[0], 0)

    def test_update_exe_is_deleted(self):
        with Tandrel({"update.exe": b"MZ old"}) as app:
            app.wait_main()
            self.assertTrue(poll(lambda: not os.path.exists(app.path("update.exe"))))


class MainWindowTest(unittest.TestCase):
    def test_controls_and_status_at_start(self):
        with Tandrel() as app:
            app.wait_main()
            screenshot("main_window")
            self.assertEqual(drive_ok("status", MAIN, FieldId.kHitCountField), "Gefunden: 0")
            self.assertEqual(drive_ok("status", MAIN, FieldId.kStateField), "\tBereit")
            self.assertEqual(drive_ok("status", MAIN, FieldId.kCopyField), "")
            self.assertEqual(drive_ok("status", MAIN, FieldId.kProgressField), "")
            self.assertEqual(drive_ok("get-text", MAIN, ControlId.kSearchButton), "Suchen")
            self.assertEqual(drive_ok("get-text", MAIN, ControlId.kFoldersCheckBox), "Ordner")
            self.assertEqual(drive_ok("get-text", MAIN, ControlId.kFilesCheckBox), "Dateien")
            self.assertEqual(drive_ok("check-state", MAIN, ControlId.kFoldersCheckBox), "1")
            self.assertEqual(drive_ok("check-state", MAIN, ControlId.kFilesCheckBox), "1")
            self.assertEqual(drive_ok("list-count", MAIN, ControlId.kResultList), "0")

    def test_check_box_toggles_on_click(self):
        with Tandrel() as app:
            app.wait_main()
            drive_ok("click", MAIN, ControlId.kFoldersCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", MAIN, ControlId.kFoldersCheckBox) == "0", 10))

    def assert_layout(self, width):
        w, client_h = numbers(drive_ok("client-size", MAIN))
        self.assertEqual(w, width)
        h = client_h + int(drive_ok("menu-bar-height", MAIN))
        sb = numbers(drive_ok("statusbar-rect", MAIN))[3]
        expected = {
            ControlId.kQueryField: [2, 6, w - 70, 25],
            ControlId.kSearchButton: [w - 64, 6, 62, 44],
            ControlId.kResultList: [2, 52, w - 4, h - sb - 78],
        }
        for control, rect in expected.items():
            self.assertEqual(numbers(drive_ok("control-rect", MAIN, control)), rect,
                             "control %d" % control)
        # Each check box is at least as wide as the rule says and wide enough for its
        # whole label; a wider one grows to the left and moves what lies left of it.
        boxes = {}
        for control, width in ((ControlId.kFoldersCheckBox, 50), (ControlId.kFilesCheckBox, 40)):
            x, y, cx, cy = boxes[control] = numbers(drive_ok("control-rect", MAIN, control))
            self.assertEqual([y, cy], [32, 20], "control %d" % control)
            self.assertGreaterEqual(cx, max(width, int(drive_ok("label-needs", MAIN, control))),
                                    "control %d cuts its label" % control)
        files, folders = boxes[ControlId.kFilesCheckBox], boxes[ControlId.kFoldersCheckBox]
        self.assertEqual(files[0] + files[2], w - 72)
        self.assertEqual(folders[0] + folders[2], min(w - 122, files[0] - 10))
        bar = numbers(drive_ok("control-rect", MAIN, ControlId.kProgressBar))
        self.assertEqual(bar, [3, 35, min(w - 177, folders[0] - 5) - 3, 13])
        return h

    def test_window_size_and_layout(self):
        with Tandrel() as app:
            app.wait_main()
            self.assertEqual(self.assert_layout(900), 600)

    def test_minimum_size_is_kept(self):
        with Tandrel() as app:
            app.wait_main()
            drive_ok("move", MAIN, 0, 0, 300, 150)
            self.assertTrue(poll(lambda: numbers(drive_ok("client-size", MAIN))[0] == 600, 10))
            self.assertGreaterEqual(self.assert_layout(600), 250)
            self.assertEqual(numbers(drive_ok("control-rect", MAIN, ControlId.kQueryField))[2], 530)


class MenuTest(unittest.TestCase):
    def test_menu_bar_items_with_icons(self):
        with Tandrel() as app:
            app.wait_main()
            lines = [line.split("\t") for line in drive_ok("menu-items", MAIN).splitlines()]
            tops = [line[4] for line in lines if line[0] == "0"]
            self.assertEqual(tops, ["TDL", "Index", "Hilfe"])
            items = [(int(line[1]), line[4]) for line in lines if line[0] == "1"]
            self.assertEqual(items, [(11, "Einstellungen"), (12, "Beenden"),
                                     (1, "Ordner verwalten"), (2, "Aktualisieren"),
                                     (3, "Hilfe"), (16, "Progammaktualisierung"),
                                     (4, "\xdcber")])
            for line in lines:
                if line[0] == "1":
                    self.assertEqual(line[3], "icon", line[4])


def message_box():
    code, text = drive("message-box", 20000)
    if code != 0:
        raise AssertionError("no message box")
    title, _, body = text.partition("\n")
    return title, body


class MessageBoxTest(unittest.TestCase):
    def about_text(self, files):
        with Tandrel(files) as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemAbout)
            title, body = message_box()
            screenshot("about_box")
            self.assertEqual(drive("close-message-box", 10000)[0], 0)
            return title, body

    def test_about_counts_records(self):
        records = [(b"a%d.txt" % i, b"C:\\x", i % 2) for i in range(7)]
        title, body = self.about_text({"db.db": index_bytes(records)})
        self.assertEqual(title, MAIN)
        self.assertIn("Index enth\xe4lt 7 Dateien.", body)

    def test_about_without_index(self):
        _, body = self.about_text({})
        self.assertIn("Index enth\xe4lt 1 Dateien.", body)

    def test_help_missing(self):
        with Tandrel() as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemHelp)
            title, body = message_box()
            screenshot("help_box")
            self.assertEqual(title, "Fehler")
            self.assertIn("Kann Hilfe nicht finden!", body)
            self.assertEqual(drive("close-message-box", 10000)[0], 0)


def popup_items():
    code, text = drive("popup-items", 10000)
    if code != 0:
        return None
    return [(int(line.split("\t")[1]), line.split("\t")[4]) for line in text.splitlines()]


class TrayTest(unittest.TestCase):
    def test_double_click_hides_and_shows(self):
        with Tandrel() as app:
            app.wait_main()
            drive_ok("tray", MAIN, 0x203)
            self.assertTrue(poll(lambda: drive_ok("is-visible", MAIN) == "0", 10))
            drive_ok("tray", MAIN, 0x203)
            self.assertTrue(poll(lambda: drive_ok("is-visible", MAIN) == "1", 10))

    def test_right_button_menu(self):
        with Tandrel() as app:
            app.wait_main()
            drive_ok("tray", MAIN, 0x204)
            self.assertEqual(popup_items(), [(13, "Ausblenden"), (14, "\xdcber"), (15, "Beenden")])
            self.assertEqual(drive("close-popup", 10000)[0], 0)


class StatusBarMenuTest(unittest.TestCase):
    def click_status(self, x):
        _, client_h = numbers(drive_ok("client-size", MAIN))
        sb = numbers(drive_ok("statusbar-rect", MAIN))[3]
        drive_ok("right-click-client", MAIN, x, client_h - sb // 2)

    def test_cancel_menu_inside_range_only(self):
        with Tandrel() as app:
            app.wait_main()
            self.click_status(300)
            self.assertEqual(popup_items(), [(10, "Abbrechen")])
            self.assertEqual(drive("close-popup", 10000)[0], 0)
            for x in (240, 360):
                self.click_status(x)
                self.assertEqual(drive("popup-items", 1500)[0], 1, "popup at x %d" % x)


class QuitTest(unittest.TestCase):
    def quit_with(self, action, files=None):
        with Tandrel(files) as app:
            app.wait_main()
            self.assertTrue(poll(lambda: os.path.exists(app.path("settings.conf")), 10))
            drive_ok(*action)
            self.assertTrue(app.wait_exit(20), "still running")
            with open(app.path("settings.conf"), "rb") as conf:
                return conf.read()

    def test_start_creates_empty_settings(self):
        with Tandrel() as app:
            app.wait_main()
            self.assertTrue(poll(lambda: os.path.exists(app.path("settings.conf")), 10))
            with open(app.path("settings.conf"), "rb") as conf:
                self.assertEqual(conf.read(), b"")

    def test_close_box_writes_flag(self):
        self.assertTrue(self.quit_with(("close", MAIN)).startswith(b"0\r\n"))

    def test_quit_command(self):
        self.assertTrue(self.quit_with(("command", MAIN, ItemId.kItemQuit)).startswith(b"0\r\n"))

    def test_tray_quit_command(self):
        self.assertTrue(self.quit_with(("command", MAIN, ItemId.kItemTrayQuit)).startswith(b"0\r\n"))

    def test_set_flag_is_kept(self):
        original = b"1\r\nD:\\Daten\r\n"
        self.assertEqual(self.quit_with(("command", MAIN, ItemId.kItemQuit), {"settings.conf": original}),
                         original)

#!/usr/bin/env python3
"""End-to-end tests of the folder management dialog, the settings dialog and the Run-key
registration of the companion re-indexer."""
import os
import subprocess
import tempfile
import unittest

from e2e_support import *  # noqa: F401,F403

FOLDERS_DIALOG = "Tandrel - Ordner verwalten"
SETTINGS_DIALOG = "Tandrel - Einstellungen"
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "Tandrel Vexoran"
REG_SZ = 1


def window_state(title):
    return dict(line.split("=") for line in drive_ok("window-state", title).splitlines())


def rect(title, control):
    return numbers(drive_ok("control-rect", title, control))


def list_rows(title, control):
    count = int(drive_ok("list-count", title, control))
    return [drive_ok("list-row", title, control, row).split("\t")[0] for row in range(count)]


def popup_items():
    code, text = drive("popup-items", 10000)
    if code != 0:
        return None
    return [(int(line.split("\t")[1]), line.split("\t")[4]) for line in text.splitlines()]


def run_value():
    """(type, stored length, text) of the Run-key value, or None when it is missing."""
    code, text = drive("run-value", RUN_VALUE)
    if code != 0:
        return None
    head, _, data = text.partition("\t")
    kind, size = numbers(head)
    return kind, size, data


def delete_run_value():
    subprocess.run([WINE, "reg", "delete", RUN_KEY, "/v", RUN_VALUE, "/f"], env=wine_env(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def read_settings(app):
    with open(app.path("settings.conf"), "rb") as conf:
        return conf.read()


def expect_main_back(test):
    """Every way of closing a dialog leaves the main window enabled and active."""
    test.assertTrue(poll(lambda: window_state(MAIN)["enabled"] == "1", 10), "main window disabled")
    test.assertTrue(poll(lambda: window_state(MAIN)["foreground"] == "1", 10), "main window not active")


class DialogTestCase(unittest.TestCase):
    def setUp(self):
        delete_run_value()

    def tearDown(self):
        delete_run_value()

    def open_folders(self):
        self.command(ItemId.kItemManageFolders)
        self.assertEqual(drive("wait-window", FOLDERS_DIALOG, 20000)[0], 0, "no folder dialog")

    def command(self, item):
        # The window is looked for first: while another Wine program starts (reg, in the
        # autostart tests) the driver now and then does not find it on its first look.
        self.assertEqual(drive("wait-window", MAIN, 20000)[0], 0, "no main window")
        drive_ok("command", MAIN, item)

    def open_settings(self):
        self.command(ItemId.kItemSettings)
        self.assertEqual(drive("wait-window", SETTINGS_DIALOG, 20000)[0], 0, "no settings dialog")

    def add_from_tree(self, path):
        drive_ok("tree-select", FOLDERS_DIALOG, ControlId.kFolderTree, path)
        x, y, w, h = rect(FOLDERS_DIALOG, ControlId.kFolderTree)
        drive_ok("right-click-client", FOLDERS_DIALOG, x + w // 2, y + h // 2)
        self.assertEqual(popup_items(), [(8, "Hinzuf\xfcgen")])
        self.assertEqual(drive("pick-popup", 0, 10000)[0], 0)

    def remove_row(self, row):
        drive_ok("list-select", FOLDERS_DIALOG, ControlId.kFolderList, row)
        x, y, w, h = numbers(drive_ok("list-row-rect", FOLDERS_DIALOG, ControlId.kFolderList, row))
        drive_ok("right-click-client", FOLDERS_DIALOG, x + w // 2, y + h // 2)
        self.assertEqual(popup_items(), [(9, "Entfernen")])
        self.assertEqual(drive("pick-popup", 0, 10000)[0], 0)

    def close_dialog_with(self, title, *action):
        drive_ok(*action)
        self.assertEqual(drive("wait-gone", title, 20000)[0], 0, "%s still open" % title)
        expect_main_back(self)


class FolderDialogTest(DialogTestCase):
    def test_opens_above_the_disabled_main_window_and_follows_its_size(self):
        with Tandrel() as app:
            app.wait_main()
            self.open_folders()
            state = window_state(FOLDERS_DIALOG)
            self.assertEqual((state["topmost"], state["sizable"], state["sysmenu"]), ("1", "1", "1"))
            self.assertEqual((state["minimizebox"], state["maximizebox"]), ("0", "0"))
            self.assertEqual(window_state(MAIN)["enabled"], "0")
            self.assertEqual(numbers(drive_ok("client-size", FOLDERS_DIALOG)), [400, 300])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderTree), [2, 2, 396, 132])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderList), [2, 138, 396, 132])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderApplyButton), [60, 272, 110, 26])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderCancelButton), [230, 272, 110, 26])
            self.assertEqual(drive_ok("get-text", FOLDERS_DIALOG, ControlId.kFolderApplyButton), "\xdcbernehmen")
            self.assertEqual(drive_ok("get-text", FOLDERS_DIALOG, ControlId.kFolderCancelButton), "Abbrechen")
            self.assertEqual(drive_ok("list-count", FOLDERS_DIALOG, ControlId.kFolderList), "0")
            self.assertIn("C:", drive_ok("tree-children", FOLDERS_DIALOG, ControlId.kFolderTree).splitlines())

            drive_ok("move", FOLDERS_DIALOG, 0, 0, 100, 100)
            self.assertTrue(poll(lambda: numbers(drive_ok("client-size", FOLDERS_DIALOG)) == [300, 250], 10))
            self.assertTrue(poll(lambda: rect(FOLDERS_DIALOG, ControlId.kFolderApplyButton) == [10, 222, 110, 26], 10))
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderCancelButton), [180, 222, 110, 26])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderTree), [2, 2, 296, 107])
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderList), [2, 113, 296, 107])

            # The bar between tree and list (y 109 to 112) follows the mouse.
            drive_ok("drag-client", FOLDERS_DIALOG, 150, 110, 60)
            self.assertTrue(poll(lambda: rect(FOLDERS_DIALOG, ControlId.kFolderTree) == [2, 2, 296, 57], 10))
            self.assertEqual(rect(FOLDERS_DIALOG, ControlId.kFolderList), [2, 63, 296, 157])

            self.close_dialog_with(FOLDERS_DIALOG, "close", FOLDERS_DIALOG)

    def test_pick_a_folder_in_the_tree_add_and_apply(self):
        with Tandrel() as app:
            for name in ("Daten/c", "Daten/A", "Daten/b/tief", "Daten/\xc4rger"):
                os.makedirs(app.path(name))
            with open(app.path("Daten/f.txt"), "w") as f:
                f.write("a file, not listed")
            app.wait_main()
            self.open_folders()
            daten = app.windows_path("Daten")
            self.assertEqual(drive_ok("tree-children", FOLDERS_DIALOG, ControlId.kFolderTree, daten).splitlines(),
                             ["A", "\xc4rger", "b", "c"], "folders only, sorted by name")
            self.add_from_tree(daten)
            self.add_from_tree(daten)  # listed already
            self.add_from_tree("C:")
            self.assertEqual(list_rows(FOLDERS_DIALOG, ControlId.kFolderList), [daten, "C:"])
            screenshot("folder_dialog")
            self.close_dialog_with(FOLDERS_DIALOG, "click", FOLDERS_DIALOG, ControlId.kFolderApplyButton)
            expected = b"0\r\n" + daten.encode("cp1252") + b"\r\nC:\r\n"
            self.assertEqual(read_settings(app), expected)

    def test_removing_then_cancelling_keeps_and_then_applying_drops(self):
        original = b"0\r\nC:\\Eins\r\n\r\nC:\\Zwei\r\n"
        with Tandrel({"settings.conf": original}) as app:
            app.wait_main()
            self.open_folders()
            self.assertEqual(list_rows(FOLDERS_DIALOG, ControlId.kFolderList), ["C:\\Eins", "C:\\Zwei"],
                             "no gap for the empty line")
            x, y, w, h = rect(FOLDERS_DIALOG, ControlId.kFolderList)
            drive_ok("right-click-client", FOLDERS_DIALOG, x + w // 2, y + h - 10)
            self.assertEqual(drive("popup-items", 1500)[0], 1, "a menu without a selected row")
            self.remove_row(0)
            self.assertEqual(list_rows(FOLDERS_DIALOG, ControlId.kFolderList), ["C:\\Zwei"])
            self.close_dialog_with(FOLDERS_DIALOG, "click", FOLDERS_DIALOG, ControlId.kFolderCancelButton)
            self.assertEqual(read_settings(app), original)

            self.open_folders()
            self.assertEqual(list_rows(FOLDERS_DIALOG, ControlId.kFolderList), ["C:\\Eins", "C:\\Zwei"])
            self.remove_row(1)
            self.close_dialog_with(FOLDERS_DIALOG, "click", FOLDERS_DIALOG, ControlId.kFolderApplyButton)
            self.assertEqual(read_settings(app), b"0\r\nC:\\Eins\r\n")

    def test_a_102nd_folder_is_refused_with_a_warning(self):
        full = b"0\r\n" + b"".join(b"C:\\F%d\r\n" % i for i in range(101))
        with Tandrel({"settings.conf": full}) as app:
            app.wait_main()
            self.open_folders()
            self.assertEqual(drive_ok("list-count", FOLDERS_DIALOG, ControlId.kFolderList), "101")
            self.add_from_tree("C:")
            code, text = drive("message-box", 20000)
            self.assertEqual(code, 0, "no warning")
            title, _, body = text.partition("\n")
            screenshot("folder_limit_warning")
            self.assertEqual(title, "Warnung")
            self.assertIn("101", body)
            self.assertEqual(drive("close-message-box", 10000)[0], 0)
            self.assertEqual(drive_ok("list-count", FOLDERS_DIALOG, ControlId.kFolderList), "101")
            self.assertTrue(poll(lambda: window_state(FOLDERS_DIALOG)["enabled"] == "1", 10))
            self.close_dialog_with(FOLDERS_DIALOG, "close", FOLDERS_DIALOG)
            self.assertEqual(read_settings(app), full)


class FolderIndexingTest(DialogTestCase):
    def test_applying_starts_a_run_over_the_new_list(self):
        with Tandrel() as app:
            for name in ("Daten/A", "Daten/b", "Daten/c"):
                os.makedirs(app.path(name))
            for name in ("Daten/f.txt", "Daten/A/g.txt", "Daten/b/h.txt"):
                with open(app.path(name), "w") as f:
                    f.write("x")
            app.wait_main()
            self.open_folders()
            self.add_from_tree(app.windows_path("Daten"))
            self.close_dialog_with(FOLDERS_DIALOG, "click", FOLDERS_DIALOG, ControlId.kFolderApplyButton)
            done = poll(lambda: drive_ok("status", MAIN, FieldId.kProgressField).startswith("\tIndexierung erfolgreich: "), 60)
            self.assertTrue(done, "the run did not finish")
            self.assertTrue(drive_ok("status", MAIN, FieldId.kProgressField).startswith("\tIndexierung erfolgreich: 3 Dateien in "))
            # The fresh index answers a search without any file touched by hand.
            drive_ok("set-text", MAIN, ControlId.kQueryField, ".txt")
            drive_ok("click", MAIN, ControlId.kSearchButton)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kHitCountField) == "Gefunden: 3", 30))


class SettingsDialogTest(DialogTestCase):
    def test_opens_fixed_above_the_disabled_main_window(self):
        with Tandrel() as app:
            app.wait_main()
            self.open_settings()
            state = window_state(SETTINGS_DIALOG)
            self.assertEqual((state["topmost"], state["sysmenu"]), ("1", "1"))
            self.assertEqual((state["sizable"], state["minimizebox"], state["maximizebox"]), ("0", "0", "0"))
            self.assertEqual(window_state(MAIN)["enabled"], "0")
            self.assertEqual(numbers(drive_ok("client-size", SETTINGS_DIALOG)), [200, 100])
            self.assertEqual(rect(SETTINGS_DIALOG, ControlId.kAutostartCheckBox), [2, 2, 196, 20])
            self.assertEqual(rect(SETTINGS_DIALOG, ControlId.kSettingsApplyButton), [50, 80, 98, 20])
            self.assertEqual(drive_ok("get-text", SETTINGS_DIALOG, ControlId.kAutostartCheckBox), "Bei Systemstart Index erneuern")
            self.assertEqual(drive_ok("get-text", SETTINGS_DIALOG, ControlId.kSettingsApplyButton), "\xdcbernehmen")
            self.assertEqual(drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox), "0")
            # The close box changes nothing, even with the box checked meanwhile.
            drive_ok("click", SETTINGS_DIALOG, ControlId.kAutostartCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "1", 10))
            self.close_dialog_with(SETTINGS_DIALOG, "close", SETTINGS_DIALOG)
            self.assertIsNone(run_value())
            self.open_settings()
            self.assertEqual(drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox), "0")

    def test_applying_registers_at_once_and_unregisters(self):
        # A program folder with spaces: the value holds it in quotes, a command line that
        # cannot be read as a shorter path.
        with Tandrel(folder_prefix="t mit Leerzeichen ") as app:
            app.wait_main()
            self.open_settings()
            drive_ok("click", SETTINGS_DIALOG, ControlId.kAutostartCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "1", 10))
            screenshot("settings_dialog")
            self.close_dialog_with(SETTINGS_DIALOG, "click", SETTINGS_DIALOG, ControlId.kSettingsApplyButton)
            expected = '"%s"' % app.windows_path("Vexoran.exe")
            self.assertTrue(poll(lambda: run_value() is not None, 10), "no Run-key value")
            self.assertEqual(run_value(), (REG_SZ, len(expected.encode("cp1252")) + 1, expected))
            # To a file, not a pipe: Wine's services keep a pipe open after reg ends.
            with tempfile.TemporaryFile() as out:
                subprocess.run([WINE, "reg", "query", RUN_KEY, "/v", RUN_VALUE], env=wine_env(),
                               stdout=out, stderr=subprocess.DEVNULL, timeout=60)
                out.seek(0)
                listed = out.read().decode("cp1252", errors="replace")
            self.assertIn("REG_SZ    " + expected, listed)
            self.assertEqual(read_settings(app), b"", "the flag reaches the file at quit")

            self.open_settings()
            self.assertEqual(drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox), "1")
            drive_ok("click", SETTINGS_DIALOG, ControlId.kAutostartCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "0", 10))
            self.close_dialog_with(SETTINGS_DIALOG, "click", SETTINGS_DIALOG, ControlId.kSettingsApplyButton)
            self.assertTrue(poll(lambda: run_value() is None, 10), "the value stayed")

    def test_start_up_brings_the_registration_in_line(self):
        with Tandrel({"settings.conf": b"1\r\n"}) as app:
            app.wait_main()
            self.assertTrue(poll(lambda: run_value() is not None, 10), "not written at start-up")
            self.assertEqual(run_value()[2], '"%s"' % app.windows_path("Vexoran.exe"))
        # Any value but 1 is off: the box shows checked, the stale value goes at start-up.
        with Tandrel({"settings.conf": b"2\r\n"}) as app:
            app.wait_main()
            self.assertTrue(poll(lambda: run_value() is None, 10), "not removed at start-up")
            self.open_settings()
            self.assertEqual(drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox), "1")
            self.close_dialog_with(SETTINGS_DIALOG, "click", SETTINGS_DIALOG, ControlId.kSettingsApplyButton)
            self.assertTrue(poll(lambda: run_value() is not None, 10), "applying 1 writes it")

    def test_an_applied_setting_survives_the_folder_dialog(self):
        with Tandrel({"settings.conf": b"0\r\nC:\\Eins\r\n"}) as app:
            app.wait_main()
            self.open_settings()
            drive_ok("click", SETTINGS_DIALOG, ControlId.kAutostartCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "1", 10))
            self.close_dialog_with(SETTINGS_DIALOG, "click", SETTINGS_DIALOG, ControlId.kSettingsApplyButton)
            self.open_folders()
            self.close_dialog_with(FOLDERS_DIALOG, "click", FOLDERS_DIALOG, ControlId.kFolderCancelButton)
            drive_ok("command", MAIN, ItemId.kItemQuit)
            self.assertTrue(app.wait_exit(20), "still running")
            self.assertEqual(read_settings(app), b"1\r\nC:\\Eins\r\n")

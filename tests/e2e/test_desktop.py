#!/usr/bin/env python3
"""End-to-end tests of what users expect of a Windows program: the tray icon's life, the
keyboard focus, the end of the session, updates during modal loops and dialog keys."""
import time
import unittest

from e2e_support import *  # noqa: F401,F403
from test_dialogs import delete_run_value, read_settings

SETTINGS_DIALOG = "Tandrel - Einstellungen"
FOLDERS_DIALOG = "Tandrel - Ordner verwalten"
VK_TAB, VK_RETURN, VK_ESCAPE, VK_DELETE, VK_DOWN = 0x09, 0x0D, 0x1B, 0x2E, 0x28
WM_LBUTTONDBLCLK, WM_RBUTTONDOWN = 0x203, 0x204
# Wine's list view joins letters typed within 450 ms; a margin for its tick count's steps.
TYPE_AHEAD_JOIN_S = 0.6


def tray_present(handle):
    return drive_ok("tray-present", handle) == "1"


def focus(title):
    """The number of the control with the keyboard focus in the window. The driver's
    question fails now and then while the machine is loaded (the window's thread is not
    answering yet); it is asked again for at most 5 seconds."""
    def ask():
        code, text = drive("focus", title)
        return [int(text)] if code == 0 else None  # a list: 0, the window itself, is an answer
    answer = poll(ask, 5)
    if answer is None:
        raise AssertionError(f"no answer to which control of {title!r} has the focus")
    return answer[0]


def press(key, shift=False):
    drive_ok(*(("press", key, "shift") if shift else ("press", key)))


def move_focus(title, key, shift=False):
    """Presses `key` in the window, waits for the focus to move and returns its control."""
    before = focus(title)
    press(key, shift)
    poll(lambda: focus(title) != before, 5)
    return focus(title)


class TrayIconTest(unittest.TestCase):
    def test_icon_comes_back_after_explorer_restart_and_goes_at_quit(self):
        with Tandrel() as app:
            app.wait_main()
            handle = drive_ok("window-handle", MAIN)
            self.assertTrue(poll(lambda: tray_present(handle), 10), "no tray icon at start")
            # Explorer's restart loses every icon and then broadcasts TaskbarCreated.
            self.assertEqual(drive("tray-drop", handle)[0], 0)
            self.assertFalse(tray_present(handle))
            drive_ok("taskbar-created")
            self.assertTrue(poll(lambda: tray_present(handle), 10), "icon not added again")
            drive_ok("command", MAIN, ItemId.kItemQuit)
            self.assertTrue(app.wait_exit(20), "still running")
            self.assertFalse(tray_present(handle), "the icon outlived the program")


class EndSessionTest(unittest.TestCase):
    def setUp(self):
        delete_run_value()

    def tearDown(self):
        delete_run_value()

    def test_logoff_runs_the_quit_sequence(self):
        original = b"0\r\nD:\\Daten\r\n"
        with Tandrel({"settings.conf": original}) as app:
            app.wait_main()
            handle = drive_ok("window-handle", MAIN)
            # The flag switched on in the settings dialog is stored only by the quit sequence.
            drive_ok("command", MAIN, ItemId.kItemSettings)
            drive_ok("wait-window", SETTINGS_DIALOG, 20000)
            drive_ok("click", SETTINGS_DIALOG, ControlId.kAutostartCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "1", 10))
            drive_ok("click", SETTINGS_DIALOG, ControlId.kSettingsApplyButton)
            self.assertEqual(drive("wait-gone", SETTINGS_DIALOG, 10000)[0], 0)
            self.assertEqual(drive_ok("end-session", MAIN), "1", "the logoff was refused")
            self.assertTrue(app.wait_exit(20), "still running after the session ended")
            self.assertEqual(read_settings(app), b"1\r\nD:\\Daten\r\n")
            self.assertFalse(tray_present(handle))


class FocusTest(unittest.TestCase):
    def test_query_field_keeps_the_focus_across_a_message_box_and_a_dialog(self):
        with Tandrel() as app:
            app.wait_main()
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 10), "no focus at start")
            drive_ok("command", MAIN, ItemId.kItemHelp)
            self.assertEqual(drive("message-box", 20000)[0], 0)
            self.assertEqual(drive("close-message-box", 10000)[0], 0)
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 10), "focus lost after the box")
            drive_ok("command", MAIN, ItemId.kItemSettings)
            drive_ok("wait-window", SETTINGS_DIALOG, 20000)
            drive_ok("close", SETTINGS_DIALOG)
            self.assertEqual(drive("wait-gone", SETTINGS_DIALOG, 10000)[0], 0)
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 10), "focus lost after the dialog")


class ModalLoopTest(unittest.TestCase):
    def test_status_text_changes_while_a_popup_menu_is_open(self):
        # Big enough that the run still walks when the menu has opened.
        settings = b"0\r\n" + windows_path(big_tree()).encode("cp1252") + b"\r\n"
        with Tandrel({"settings.conf": settings}) as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemUpdateIndex)
            drive_ok("tray", MAIN, WM_RBUTTONDOWN)
            self.assertEqual(drive("popup-open", 10000)[0], 0, "no popup menu")
            first = drive_ok("status", MAIN, FieldId.kProgressField)
            self.assertFalse(first.startswith("\tIndexierung"), "the run ended before the menu opened")
            code, seen = drive("watch-status", MAIN, FieldId.kProgressField, 60000, "\tIndexierung")
            self.assertEqual(code, 0, "the run's texts stood still: %r" % seen)
            self.assertEqual(drive("popup-open", 0)[0], 0, "the menu closed meanwhile")
            self.assertEqual(drive("close-popup", 10000)[0], 0)


class TypeAheadTest(unittest.TestCase):
    def test_typed_letter_finds_the_next_hit_folded_as_the_search_folds(self):
        records = [(b"xabc.txt", b"C:\\a", 0), (b"yabc.txt", b"C:\\a", 0),
                   (b"\xc4abc.doc", b"C:\\a", 0), (b"Yabc2.txt", b"C:\\a", 0)]
        with Tandrel({"db.db": index_bytes(records)}) as app:
            app.wait_main()
            drive_ok("set-text", MAIN, ControlId.kQueryField, "abc")
            drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
            self.assertTrue(poll(lambda: drive_ok("list-count", MAIN, ControlId.kResultList) == "4", 20))
            took_effect = None
            for typed, row in ((ord("y"), 1), (ord("y"), 3), (0xE4, 2)):
                # The list joins letters typed within its interval into one longer text to
                # find; each letter here comes once the interval since the moment the one
                # before took effect has passed, so that it starts a search of its own.
                if took_effect is not None:
                    poll(lambda: time.monotonic() - took_effect > TYPE_AHEAD_JOIN_S, 5)
                drive_ok("char", MAIN, ControlId.kResultList, typed)
                self.assertTrue(poll(lambda: drive_ok("list-focused", MAIN, ControlId.kResultList) == str(row), 5),
                                "typed %#x" % typed)
                took_effect = time.monotonic()


class MainKeyboardTest(unittest.TestCase):
    """The main window from the keyboard alone: Tab walks query field, "Suchen", the two
    check boxes and the list; Down enters the list; typing goes to the query field after
    "Suchen" and after a restore from the tray."""

    def test_tab_order_down_and_the_focus_after_search_and_restore(self):
        records = [(b"abc%d.txt" % i, b"C:\\a", 0) for i in range(3)]
        with Tandrel({"db.db": index_bytes(records)}) as app:
            app.wait_main()
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 10), "no focus at start")
            order = [move_focus(MAIN, VK_TAB) for _ in range(5)]
            self.assertEqual(order, [ControlId.kSearchButton, ControlId.kFoldersCheckBox, ControlId.kFilesCheckBox, ControlId.kResultList, ControlId.kQueryField])
            self.assertEqual(move_focus(MAIN, VK_TAB, shift=True), ControlId.kResultList, "Shift+Tab")
            self.assertEqual(move_focus(MAIN, VK_TAB, shift=True), ControlId.kFilesCheckBox)
            self.assertEqual([move_focus(MAIN, VK_TAB) for _ in range(2)], [ControlId.kResultList, ControlId.kQueryField])

            drive_ok("set-text", MAIN, ControlId.kQueryField, "abc")
            self.assertEqual(move_focus(MAIN, VK_TAB), ControlId.kSearchButton)
            press(0x20)  # the space bar presses the focused button
            self.assertTrue(poll(lambda: drive_ok("list-count", MAIN, ControlId.kResultList) == "3", 20), "no search")
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 5), "the focus stayed on Suchen")
            press(VK_DOWN)
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kResultList, 5), "Down stayed in the query field")
            self.assertEqual(drive_ok("list-focused", MAIN, ControlId.kResultList), "0", "no row to act on")

            drive_ok("command", MAIN, ItemId.kItemHideRestore)
            self.assertTrue(poll(lambda: drive_ok("is-visible", MAIN) == "0", 10))
            drive_ok("command", MAIN, ItemId.kItemHideRestore)
            self.assertTrue(poll(lambda: drive_ok("is-visible", MAIN) == "1", 10))
            self.assertTrue(poll(lambda: focus(MAIN) == ControlId.kQueryField, 5), "after the restore")


class GrowTest(unittest.TestCase):
    def test_a_maximised_window_is_painted_anew_without_a_horizontal_bar(self):
        records = [(b"abc%03d mit einem recht langen Namen.txt" % i, b"C:\\Ordner", 0) for i in range(300)]
        with Tandrel({"db.db": index_bytes(records)}) as app:
            app.wait_main()
            drive_ok("set-text", MAIN, ControlId.kQueryField, "abc")
            drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
            self.assertTrue(poll(lambda: drive_ok("list-count", MAIN, ControlId.kResultList) == "300", 20))
            self.assertTrue(poll(lambda: drive_ok("scroll-bars", MAIN, ControlId.kResultList) == "0 1", 5),
                            "bars (horizontal, vertical): " + drive_ok("scroll-bars", MAIN, ControlId.kResultList))
            screenshot("grow_before_maximise")
            left = numbers(drive_ok("control-rect", MAIN, ControlId.kSearchButton))[0]
            # The theme's button face may be white itself: what a clean paint shows is the measure.
            clean = int(drive_ok("white-share", MAIN, ControlId.kSearchButton))
            drive_ok("show-state", MAIN, "maximized")
            self.assertTrue(poll(lambda: numbers(drive_ok("control-rect", MAIN, ControlId.kSearchButton))[0] > left, 10))
            # A stale white box over "Suchen" stays until something else repaints it.
            self.assertTrue(poll(lambda: int(drive_ok("white-share", MAIN, ControlId.kSearchButton)) <= clean + 3, 5),
                            "white over Suchen: %s%%, %d%% before" % (drive_ok("white-share", MAIN, ControlId.kSearchButton),
                                                                       clean))
            screenshot("grow_after_maximise")
            self.assertEqual(drive_ok("scroll-bars", MAIN, ControlId.kResultList), "0 1")


def folded(text):
    """The search's case fold: a-z and 0xE0-0xFF lose 0x20."""
    return bytes(b - 0x20 if 0x61 <= b <= 0x7A or b >= 0xE0 else b for b in text)


def listed_rows():
    rows = drive_ok("list-rows", MAIN, ControlId.kResultList)
    return rows.split("\n") if rows else []


def row_text(record):
    return record[0].decode("cp1252") + "\t" + record[1].decode("cp1252")


class HitOrderTest(unittest.TestCase):
    # Names and folders that repeat and differ only in case, so the order of equal ones shows.
    RECORDS = [(b"beta-qqq.txt", b"C:\\Z", 0), (b"alpha-qqq.doc", b"C:\\m", 0), (b"\xe4rger-qqq.txt", b"C:\\a", 0),
               (b"ALPHA-qqq.doc", b"C:\\A", 0), (b"Gamma-qqq", b"C:\\M", 1), (b"Alpha-qqq.doc", b"C:\\b", 0),
               (b"zeta-qqq.txt", b"C:\\m", 0)]

    def search(self, query):
        drive_ok("set-text", MAIN, ControlId.kQueryField, query)
        drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
        self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))

    def click_and_expect(self, column, records, arrows):
        drive_ok("header-click", MAIN, ControlId.kResultList, column)
        expected = [row_text(r) for r in records]
        self.assertTrue(poll(lambda: listed_rows() == expected, 10), "%s != %s" % (listed_rows(), expected))
        self.assertEqual(drive_ok("header-arrows", MAIN, ControlId.kResultList), arrows)

    def test_header_clicks_sort_reverse_return_and_hold_for_the_next_search(self):
        records = self.RECORDS
        by_name = sorted(records, key=lambda r: folded(r[0]))
        by_folder = sorted(records, key=lambda r: folded(r[1]))
        with Tandrel({"db.db": index_bytes(records)}) as app:
            app.wait_main()
            self.search("qqq")
            self.assertEqual(listed_rows(), [row_text(r) for r in records])
            self.click_and_expect(0, by_name, "up -")
            self.click_and_expect(0, sorted(records, key=lambda r: folded(r[0]), reverse=True), "down -")
            self.click_and_expect(0, records, "- -")
            self.click_and_expect(1, by_folder, "- up")
            screenshot("sorted_by_folder")
            self.search("qqq.txt")
            self.assertTrue(poll(lambda: listed_rows() == [row_text(r) for r in by_folder if b".txt" in r[0]], 10))
            self.assertEqual(drive_ok("header-arrows", MAIN, ControlId.kResultList), "- up")

    def test_rows_show_their_types_icon(self):
        with Tandrel({"db.db": index_bytes(self.RECORDS)}) as app:
            app.wait_main()
            self.search("qqq")
            icons = [drive_ok("list-icon", MAIN, ControlId.kResultList, r).split() for r in range(len(self.RECORDS))]
            self.assertTrue(all(has_list == "1" and int(image) >= 0 for has_list, image in icons), icons)
            images = [int(image) for _, image in icons]
            folder = images[4]
            self.assertNotIn(folder, images[:4] + images[5:], "a folder looks like a file")
            self.assertEqual(images[0], images[2], "two .txt files, two icons")


class ShellMenuTest(unittest.TestCase):
    def test_shift_right_click_and_the_last_menu_item_open_the_shells_menu(self):
        app = Tandrel()
        with open(app.path("notiz-qqq.txt"), "wb") as out:
            out.write(b"x")
        with open(app.path("db.db"), "wb") as out:
            out.write(index_bytes([(b"notiz-qqq.txt", app.windows_path().encode(), 0)]))
        with app:
            app.wait_main()
            drive_ok("set-text", MAIN, ControlId.kQueryField, "qqq")
            drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
            self.assertTrue(poll(lambda: drive_ok("list-count", MAIN, ControlId.kResultList) == "1", 20))
            drive_ok("list-select", MAIN, ControlId.kResultList, 0)
            x, y, cx, cy = numbers(drive_ok("list-row-rect", MAIN, ControlId.kResultList, 0))
            sx, sy = numbers(drive_ok("screen-point", MAIN, x + cx // 2, y + cy // 2))
            subprocess.run(["xdotool", "mousemove", str(sx), str(sy), "keydown", "shift", "click", "3",
                            "keyup", "shift"], timeout=10)
            items = drive_ok("popup-items", 20000)
            self.assertNotIn("Kopieren nach", items, "the program's own menu opened")
            self.assertTrue(items.strip(), "an empty menu")
            screenshot("shell_menu")
            drive_ok("close-popup", 10000)  # Escape, and the menu is gone

            drive_ok("right-click-client", MAIN, x + cx // 2, y + cy // 2)
            last = drive_ok("popup-items", 20000).split("\n")[-1]
            self.assertEqual(last.split("\t")[1:], [str(ItemId.kItemShellMenu), "enabled", "noicon",
                                                     "Weitere Optionen\u2026"])
            # The shell's menu follows the picked item's at once: no moment without a menu.
            drive("pick-popup", 3, 2000)
            self.assertTrue(poll(lambda: "Kopieren nach" not in drive_ok("popup-items", 10000), 10))
            drive_ok("close-popup", 10000)  # Escape, and the menu is gone


DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"


def set_log_pixels(dpi):
    """The DPI Wine gives programs started from now on in this test's prefix."""
    subprocess.run([WINE, "reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                   env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)


class DpiTest(unittest.TestCase):
    def tearDown(self):
        set_log_pixels(96)

    def test_at_144_dpi_the_layout_grows_with_the_fonts(self):
        records = [(b"abc%05d.txt" % i, b"C:\\Ordner", 0) for i in range(12345)]
        for dpi in (96, 144):
            set_log_pixels(dpi)
            with Tandrel({"db.db": index_bytes(records)}) as app:
                app.wait_main()
                drive_ok("set-text", MAIN, ControlId.kQueryField, "abc")
                drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
                self.assertTrue(poll(lambda: drive_ok("list-count", MAIN, ControlId.kResultList) == "12345", 30))
                # The window system's pixels: the rule's 62 x 44 scaled by dpi / 96.
                button = numbers(drive_ok("control-rect", MAIN, ControlId.kSearchButton))
                self.assertEqual(button[2:], [62 * dpi // 96, 44 * dpi // 96])
                self.assertEqual(drive_ok("status", MAIN, FieldId.kHitCountField), "Gefunden: 12345")
                screenshot("dpi_%d_before_maximise" % dpi)
                drive_ok("show-state", MAIN, "maximized")
                self.assertTrue(poll(lambda: numbers(drive_ok("control-rect", MAIN, ControlId.kSearchButton))[0]
                                     > button[0], 10))
                screenshot("dpi_%d_after_maximise" % dpi)


class DialogKeyboardTest(unittest.TestCase):
    def setUp(self):
        delete_run_value()

    def tearDown(self):
        delete_run_value()

    def test_return_on_the_focused_cancel_button_cancels(self):
        original = b"0\r\nD:\\Eins\r\n"
        with Tandrel({"settings.conf": original}) as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemManageFolders)
            drive_ok("wait-window", FOLDERS_DIALOG, 20000)
            for _ in range(8):
                if focus(FOLDERS_DIALOG) == ControlId.kFolderCancelButton:
                    break
                move_focus(FOLDERS_DIALOG, VK_TAB)
            self.assertEqual(focus(FOLDERS_DIALOG), ControlId.kFolderCancelButton)
            press(VK_RETURN)
            self.assertEqual(drive("wait-gone", FOLDERS_DIALOG, 10000)[0], 0, "Return did not close")
            self.assertEqual(read_settings(app), original, "Return on Abbrechen applied the list")
            self.assertFalse(drive_ok("status", MAIN, FieldId.kProgressField).startswith("\tIndexierung"), "a run started")

    def test_tab_esc_return_and_del(self):
        original = b"0\r\nD:\\Eins\r\nD:\\Zwei\r\n"
        with Tandrel({"settings.conf": original}) as app:
            app.wait_main()
            drive_ok("command", MAIN, ItemId.kItemManageFolders)
            drive_ok("wait-window", FOLDERS_DIALOG, 20000)
            self.assertTrue(poll(lambda: drive_ok("list-count", FOLDERS_DIALOG, ControlId.kFolderList) == "2", 10))
            order = [move_focus(FOLDERS_DIALOG, VK_TAB) for _ in range(4)]
            self.assertEqual(order, [ControlId.kFolderTree, ControlId.kFolderList, ControlId.kFolderApplyButton, ControlId.kFolderCancelButton])
            press(VK_TAB, shift=True)
            self.assertTrue(poll(lambda: focus(FOLDERS_DIALOG) == ControlId.kFolderApplyButton, 5), "Shift+Tab")
            press(VK_TAB, shift=True)
            self.assertTrue(poll(lambda: focus(FOLDERS_DIALOG) == ControlId.kFolderList, 5))
            drive_ok("list-select", FOLDERS_DIALOG, ControlId.kFolderList, 0)
            press(VK_DELETE)
            self.assertTrue(poll(lambda: drive_ok("list-count", FOLDERS_DIALOG, ControlId.kFolderList) == "1", 10),
                            "Del removed no row")
            press(VK_ESCAPE)
            self.assertEqual(drive("wait-gone", FOLDERS_DIALOG, 10000)[0], 0, "Esc did not cancel")
            self.assertEqual(read_settings(app), original, "a cancelled dialog wrote the file")

            drive_ok("command", MAIN, ItemId.kItemSettings)
            drive_ok("wait-window", SETTINGS_DIALOG, 20000)
            needs = int(drive_ok("label-needs", SETTINGS_DIALOG, ControlId.kAutostartCheckBox))
            box = numbers(drive_ok("control-rect", SETTINGS_DIALOG, ControlId.kAutostartCheckBox))
            self.assertGreaterEqual(box[2], needs, "the label is cut")
            self.assertEqual(box[0] + box[2], 198, "the right edge moved")
            press(VK_TAB)
            self.assertTrue(poll(lambda: focus(SETTINGS_DIALOG) == ControlId.kAutostartCheckBox, 5))
            press(0x20)  # the space bar checks the box that has the focus
            self.assertTrue(poll(lambda: drive_ok("check-state", SETTINGS_DIALOG, ControlId.kAutostartCheckBox) == "1", 5))
            screenshot("settings_dialog_label")
            press(VK_RETURN)
            self.assertEqual(drive("wait-gone", SETTINGS_DIALOG, 10000)[0], 0, "Return did not apply")
            self.assertTrue(poll(lambda: drive("run-value", "Tandrel Vexoran")[0] == 0, 10),
                                 "the apply did not register the re-indexer")


if __name__ == "__main__":
    unittest.main()

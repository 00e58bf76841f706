#!/usr/bin/env python3
"""End-to-end tests of the live index under Wine: changes at the top level of a folder of
the folder list reach the next search without "Aktualisieren". (Wine reports no deeper
changes; the native tests cover every depth.)"""
import os
import shutil
import unittest

from e2e_support import *  # noqa: F401,F403


def settings(*folders):
    return b"0\r\n" + b"".join(windows_path(f).encode("cp1252") + b"\r\n" for f in folders)


class LiveIndexTest(unittest.TestCase):
    def rows_for(self, query):
        """The rows of a search for `query`, or of the search before it: "Fertig!" may still
        stand from that one. Every check polls for rows the search before cannot have. The
        window refuses the same query twice in a row, so the query alternates between two
        spellings the search folds alike."""
        self.turn = not getattr(self, "turn", False)
        typed = query.upper() if self.turn else query.lower()
        drive_ok("set-text", MAIN, ControlId.kQueryField, typed)
        drive_ok("click", MAIN, ControlId.kSearchButton)
        if not poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"):
            return None
        count = int(drive_ok("list-count", MAIN, ControlId.kResultList))
        return [drive_ok("list-row", MAIN, ControlId.kResultList, r) for r in range(count)]

    def test_made_deleted_and_moved_entries_follow_the_disk(self):
        app = Tandrel()
        live = os.path.join(app.folder, "Live")
        outside = os.path.join(app.folder, "Draussen")
        os.makedirs(live)
        os.makedirs(os.path.join(outside, "Mappe", "Unter"))
        open(os.path.join(outside, "Mappe", "Unter", "tief.txt"), "wb").close()
        live_win = windows_path(live)
        # Made while the program did not run: the catch-up after the start finds it.
        open(os.path.join(live, "vorher.txt"), "wb").close()
        open(os.path.join(live, "zuletzt.txt"), "wb").close()
        with open(app.path("db.db"), "wb") as out:
            out.write(index_bytes([(b"alt.txt", live_win.encode("cp1252"), 0),
                                   (b"zuletzt.txt", live_win.encode("cp1252"), 0)]))
        with open(app.path("settings.conf"), "wb") as out:
            out.write(settings(live))
        with app:
            app.wait_main()
            self.assertTrue(poll(lambda: self.rows_for("vorher") == ["vorher.txt\t" + live_win]),
                            "the catch-up did not find what was made before the start")
            self.assertTrue(poll(lambda: self.rows_for("alt.txt") == []), "the catch-up kept a file that is gone")
            # Sorted by name, the added entry goes before the loaded one it follows in the index.
            in_index = ["zuletzt.txt\t" + live_win, "vorher.txt\t" + live_win]
            self.assertEqual(self.rows_for("txt"), in_index)
            drive_ok("header-click", MAIN, ControlId.kResultList, 0)
            self.assertTrue(poll(lambda: [drive_ok("list-row", MAIN, ControlId.kResultList, r) for r in range(2)]
                                 == in_index[::-1]))
            screenshot("live_sorted_by_name")

            open(os.path.join(live, "neu.txt"), "wb").close()
            self.assertTrue(poll(lambda: self.rows_for("neu.txt") == ["neu.txt\t" + live_win]))
            os.remove(os.path.join(live, "neu.txt"))
            self.assertTrue(poll(lambda: self.rows_for("neu.txt") == []))

            # A folder moved in comes with its subtree; moved out, it takes it along.
            os.rename(os.path.join(outside, "Mappe"), os.path.join(live, "Mappe"))
            deep = "tief.txt\t" + live_win + "\\Mappe\\Unter"
            self.assertTrue(poll(lambda: self.rows_for("tief.txt") == [deep]))
            shutil.move(os.path.join(live, "Mappe"), os.path.join(outside, "weg"))
            self.assertTrue(poll(lambda: self.rows_for("tief.txt") == []))
            self.assertTrue(poll(lambda: self.rows_for("mappe") == []))


if __name__ == "__main__":
    unittest.main()

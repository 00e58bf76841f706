#!/usr/bin/env python3
"""End-to-end tests of the search: a query typed into the real window under Wine."""
import unittest

from e2e_support import *  # noqa: F401,F403

VK_RETURN = 13

RECORDS = [
    (b"Brief.txt", b"C:\\Post", 0),
    (b"Briefe", b"C:\\Post", 1),
    (b"Liebesbrief.doc", b"C:\\Post\\Alt", 0),
    (b"Notiz.txt", b"C:\\Brief", 0),
    (b"\xdcbersicht.pdf", b"D:\\Gr\xf6\xdfe", 0),
]


class SearchTest(unittest.TestCase):
    def search(self, query, press_return=True):
        drive_ok("set-text", MAIN, ControlId.kQueryField, query)
        if press_return:
            drive_ok("key", MAIN, ControlId.kQueryField, VK_RETURN)
        else:
            drive_ok("click", MAIN, ControlId.kSearchButton)

    def rows(self):
        count = int(drive_ok("list-count", MAIN, ControlId.kResultList))
        return [drive_ok("list-row", MAIN, ControlId.kResultList, r) for r in range(count)]

    def test_return_lists_the_hits_and_the_same_query_is_refused(self):
        with Tandrel({"db.db": index_bytes(RECORDS)}) as app:
            app.wait_main()
            self.search("brief")
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))
            self.assertEqual(self.rows(), ["Brief.txt\tC:\\Post", "Briefe\tC:\\Post",
                                           "Liebesbrief.doc\tC:\\Post\\Alt"])
            self.assertEqual(drive_ok("status", MAIN, FieldId.kHitCountField), "Gefunden: 3")
            screenshot("search_results")

            self.search("brief")
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tSelber Suchvorgang!"))
            self.assertEqual(len(self.rows()), 3, "the list stays")

            self.search("ab")
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tMindestens 3 Zeichen"))
            self.assertEqual(len(self.rows()), 3)

    def test_the_button_searches_too_and_umlauts_fold(self):
        with Tandrel({"db.db": index_bytes(RECORDS)}) as app:
            app.wait_main()
            self.search("\xfcber", press_return=False)
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))
            self.assertEqual(self.rows(), ["\xdcbersicht.pdf\tD:\\Gr\xf6\xdfe"])

    def test_only_files_when_the_folders_box_is_off(self):
        with Tandrel({"db.db": index_bytes(RECORDS)}) as app:
            app.wait_main()
            drive_ok("click", MAIN, ControlId.kFoldersCheckBox)
            self.assertTrue(poll(lambda: drive_ok("check-state", MAIN, ControlId.kFoldersCheckBox) == "0", 10))
            self.search("brief")
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))
            self.assertEqual(drive_ok("status", MAIN, FieldId.kHitCountField), "Gefunden: 2")
            self.assertNotIn("Briefe\tC:\\Post", self.rows())

    def test_a_large_index_answers_at_once_and_lists_every_hit(self):
        records = [(b"datei%d.txt" % i, b"C:\\Daten\\%d" % (i % 500), i % 7 == 0)
                   for i in range(200000)]
        with Tandrel({"db.db": index_bytes(records)}) as app:
            app.wait_main()
            self.search("datei12")
            self.assertTrue(poll(lambda: drive_ok("status", MAIN, FieldId.kStateField) == "\tFertig!"))
            expected = sum(1 for name, _, _ in records if b"datei12" in name)
            self.assertEqual(drive_ok("status", MAIN, FieldId.kHitCountField), "Gefunden: %d" % expected)
            self.assertEqual(int(drive_ok("list-count", MAIN, ControlId.kResultList)), expected)
            self.assertEqual(drive_ok("list-row", MAIN, ControlId.kResultList, 0), "datei12.txt\tC:\\Daten\\12")

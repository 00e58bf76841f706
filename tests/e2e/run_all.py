#!/usr/bin/env python3
"""Runs every end-to-end test file (test_*.py beside this one) and prints the counts."""
import os
import sys
import unittest

from e2e_support import DRIVER, EXE


def main():
    missing = [name for name, path in (("TANDREL_EXE", EXE), ("TANDREL_DRIVER", DRIVER))
               if not path or not os.path.exists(path)]
    if missing:
        print("e2e: missing %s" % ", ".join(missing))
        print("e2e: 0 passed, 1 failed")
        return 1
    here = os.path.dirname(os.path.abspath(__file__))
    names = sys.argv[1:]  # optional: test names, such as test_search.SearchTest
    loader = unittest.TestLoader()
    suite = loader.loadTestsFromNames(names) if names else loader.discover(here, "test_*.py")
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    passed = result.testsRun - failed - len(result.skipped)
    print("e2e: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

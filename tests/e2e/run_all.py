#!/usr/bin/env python3
"""Runs the end-to-end tests (test_*.py beside this one) and prints the counts.

usage: run_all.py [--shard I/N] [NAMES...]
NAMES (such as test_search.SearchTest) pick tests; --shard I/N runs the I-th of N shards
(1 <= I <= N) of all tests. The shards are balanced by the durations in durations.txt, so
that N of them, run at once, end at about the same time; a test missing there counts as
DEFAULT_SECONDS. Each test's duration is written to TANDREL_ARTIFACTS/durations/, in the
form of durations.txt.

The Wine prefix (WINEPREFIX) keeps its server up for the whole run, so no driver start
waits for a new one.
"""
import argparse
import os
import subprocess
import sys
import time
import unittest

from e2e_support import ARTIFACTS, DRIVER, EXE, WINE_RUN, wine_env

HERE = os.path.dirname(os.path.abspath(__file__))
DURATIONS = os.path.join(HERE, "durations.txt")
DEFAULT_SECONDS = 30.0


def each_test(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from each_test(item)
        else:
            yield item


def read_durations():
    """Test id -> seconds, from lines "SECONDS TEST_ID"; # starts a comment."""
    durations = {}
    with open(DURATIONS) as lines:
        for line in lines:
            words = line.split("#", 1)[0].split()
            if len(words) == 2:
                durations[words[1]] = float(words[0])
    return durations


def unit(test):
    """What stays in one shard: a test class, whose tests may share a fixed resource (the
    update server's port) or expect it unused."""
    return test.id().rsplit(".", 1)[0]


def shard(tests, index, count):
    """The tests of shard `index` (1-based) of `count`: the classes, longest first, each to
    the shard with the least time so far."""
    durations = read_durations()
    units = {}
    for test in tests:
        units.setdefault(unit(test), []).append(test)
    cost = {name: sum(durations.get(t.id(), DEFAULT_SECONDS) for t in members)
            for name, members in units.items()}
    loads = [0.0] * count
    mine = []
    for name in sorted(units, key=lambda n: (-cost[n], n)):
        target = loads.index(min(loads))
        loads[target] += cost[name]
        if target == index - 1:
            mine.extend(units[name])
    return sorted(mine, key=lambda t: t.id())


class TimedResult(unittest.TextTestResult):
    """Notes each test's duration beside its outcome."""

    durations = {}

    def startTest(self, test):
        self.started = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        self.durations[test.id()] = time.monotonic() - self.started
        super().stopTest(test)


def write_durations(name, durations):
    folder = os.path.join(ARTIFACTS, "durations")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + ".txt"), "w") as out:
        for test_id, seconds in sorted(durations.items()):
            out.write("%.1f %s\n" % (seconds, test_id))


def wine_server(*args):
    subprocess.run(["bash", WINE_RUN, "--server"] + list(args), env=wine_env(),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--shard", help="I/N")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    missing = [name for name, path in (("TANDREL_EXE", EXE), ("TANDREL_DRIVER", DRIVER))
               if not path or not os.path.exists(path)]
    if missing:
        print("e2e: missing %s" % ", ".join(missing))
        print("e2e: 0 passed, 1 failed")
        return 1
    loader = unittest.TestLoader()
    suite = loader.loadTestsFromNames(args.names) if args.names else loader.discover(HERE, "test_*.py")
    name = "all"
    if args.shard:
        index, count = (int(n) for n in args.shard.split("/"))
        suite = unittest.TestSuite(shard(list(each_test(suite)), index, count))
        name = "shard-%d-of-%d" % (index, count)
    # Kept up between programs, so a driver start between two tests finds the server there;
    # ended with the run, or half a minute after its last program when the run was killed.
    wine_server("-p30")
    try:
        result = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult).run(suite)
    finally:
        wine_server("-k")
    write_durations(name, TimedResult.durations)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    passed = result.testsRun - failed - len(result.skipped)
    print("e2e: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

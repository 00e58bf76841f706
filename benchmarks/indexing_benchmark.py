#!/usr/bin/env python3
"""The indexing run against its peers on one generated tree.

Generates (once, cached) a tree of about 1,000,000 entries: mostly small folders a few
levels deep, three huge folders, German and English names with extensions, some with
umlauts. Then, on a warm cache, times in one session: the whole `tdl index` run, its
walk alone (index_walk_timer), `find ROOT -printf '%f\\t%h\\t%y\\n' > FILE` and
`updatedb.plocate` over the same tree, and prints medians, peak memory and ratios. With
--scale it also runs tdl index on a tree a tenth the size, to show that peak memory does
not grow with the tree.

usage: indexing_benchmark.py BUILD_DIR [--entries N] [--runs N] [--work DIR]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys

WORDS_DE = ["Rechnung", "Brief", "Urlaub", "Bericht", "Vertrag", "Steuer", "Foto", "Projekt",
            "Übersicht", "Bücher", "Größe", "Ärger", "Straße", "Müller", "Öffnung", "Präsentation",
            "Angebot", "Protokoll", "Haushalt", "Kündigung", "Zeugnis", "Lebenslauf", "Notizen"]
WORDS_EN = ["report", "invoice", "holiday", "draft", "final", "backup", "photo", "meeting",
            "budget", "summary", "notes", "release", "config", "readme", "build", "test"]
EXTENSIONS = [".txt", ".pdf", ".docx", ".xlsx", ".jpg", ".png", ".mp3", ".cpp", ".h", ".zip",
              ".pptx", ".html", ".csv", ".log", ""]


def name(rng, kind):
    words = rng.choice((WORDS_DE, WORDS_EN))
    parts = [rng.choice(words) for _ in range(rng.randint(1, 3))]
    text = rng.choice((" ", "_", "-")).join(parts)
    if rng.random() < 0.5:
        text += " %d" % rng.randint(1, 2024)
    return text if kind == "folder" else text + rng.choice(EXTENSIONS)


def generate(root, entries, seed=1):
    """Writes the tree; returns the number of entries made."""
    rng = random.Random(seed)
    made = 0
    huge = max(entries // 40, 1)  # each of the three huge folders
    for h in range(3):
        folder = os.path.join(root, "Archiv %d" % h, "Alles")
        os.makedirs(folder)
        made += 2  # "Archiv h" and "Alles"
        for i in range(huge):
            open(os.path.join(folder, "%s %06d%s" % (rng.choice(WORDS_DE + WORDS_EN), i,
                                                   rng.choice(EXTENSIONS))), "wb").close()
        made += huge
    stack = [root]
    while made < entries:
        parent = rng.choice(stack[-50:]) if stack else root
        folder = os.path.join(parent, name(rng, "folder"))
        if os.path.exists(folder):
            continue
        os.mkdir(folder)
        made += 1
        if folder.count(os.sep) - root.count(os.sep) < 6:
            stack.append(folder)
        for _ in range(rng.randint(2, 25)):
            path = os.path.join(folder, name(rng, "file"))
            if not os.path.exists(path):
                open(path, "wb").close()
                made += 1
    return made


def tree(work, entries):
    root = os.path.join(work, "tree-%d" % entries)
    if not os.path.exists(root + ".done"):
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        print("generating %d entries in %s ..." % (entries, root), file=sys.stderr)
        generate(root, entries)
        open(root + ".done", "w").close()
    return root


def timed(command, shell=False):
    """(seconds, peak resident kilobytes) of one run, through GNU time."""
    report = "/tmp/indexing-benchmark-time.txt"
    full = ["/usr/bin/time", "-f", "%e %M", "-o", report]
    full += ["sh", "-c", command] if shell else command
    subprocess.run(full, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds, kilobytes = open(report).read().split()[-2:]
    return float(seconds), int(kilobytes)


def measure(label, command, runs, shell=False):
    results = [timed(command, shell) for _ in range(runs)]
    seconds = statistics.median(r[0] for r in results)
    peak = max(r[1] for r in results)
    print("%-34s %8.2f s   %8.1f MiB peak" % (label, seconds, peak / 1024))
    return seconds, peak


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--entries", type=int, default=1_000_000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default="/tmp/tandrel-indexing-benchmark")
    parser.add_argument("--scale", action="store_true", help="also a tree a tenth the size")
    args = parser.parse_args()
    tdl = os.path.join(args.build, "tools", "tdl", "tdl")
    walker = os.path.join(args.build, "benchmarks", "index_walk_timer")
    os.makedirs(args.work, exist_ok=True)
    root = tree(args.work, args.entries)
    out = os.path.join(args.work, "out")
    os.makedirs(out, exist_ok=True)
    count = sum(len(d) + len(f) for _, d, f in os.walk(root))
    print("tree: %s, %d entries; medians of %d runs, warm cache" % (root, count, args.runs))
    subprocess.run(["find", root, "-printf", "x"], check=True, stdout=subprocess.DEVNULL)  # warm

    env_tmp = os.path.join(out, "tmp")
    os.makedirs(env_tmp, exist_ok=True)
    os.environ["TMPDIR"] = env_tmp
    whole = measure("tdl index (walk + regrouping)", [tdl, "index", "--db", os.path.join(out, "db.db"), root], args.runs)
    walk = measure("walk alone (index_walk_timer)", [walker, os.path.join(out, "dbtemp.db"), root], args.runs)
    find = measure("find -printf '%f\\t%h\\t%y\\n'", "find '%s' -printf '%%f\\t%%h\\t%%y\\n' > '%s'"
                   % (root, os.path.join(out, "find.txt")), args.runs, shell=True)
    plocate = measure("updatedb.plocate", ["updatedb.plocate", "-U", root, "-o", os.path.join(out, "plocate.db"),
                                           "--require-visibility", "no"], args.runs)
    print()
    print("tdl index / find             %.2f   (goal: at most 1.5)" % (whole[0] / find[0]))
    print("tdl index / updatedb.plocate %.2f   (goal: below 1)" % (whole[0] / plocate[0]))
    print("walk alone / find            %.2f" % (walk[0] / find[0]))
    if args.scale:
        small = tree(args.work, args.entries // 10)
        small_run = measure("tdl index, a tenth of the tree", [tdl, "index", "--db", os.path.join(out, "db.db"), small], args.runs)
        print("peak memory, 10x the entries: %.1f MiB vs %.1f MiB" % (whole[1] / 1024, small_run[1] / 1024))


if __name__ == "__main__":
    main()

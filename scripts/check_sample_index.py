#!/usr/bin/env python3
"""Checks that an index holds every file in the repository's folders (all but build/ and
hidden ones) as the program under Wine sees them (drive Z: is the host's root), and
prints its record count.

usage: check_sample_index.py DB_FILE REPOSITORY
Exit status 0 when every file is there, 1 otherwise (the first missing ones are named).
"""
import os
import sys


def records(data):
    """(name, folder, kind) of each record: name CR LF, folder CR LF, one kind byte."""
    at = 0
    while at < len(data):
        name_end = data.index(b"\r\n", at)
        folder_end = data.index(b"\r\n", name_end + 2)
        yield data[at:name_end], data[name_end + 2:folder_end], data[folder_end + 2]
        at = folder_end + 3


def repository_files(repo):
    for folder, subfolders, files in os.walk(repo):
        if folder == repo:
            subfolders[:] = [f for f in subfolders if f != "build" and not f.startswith(".")]
            continue  # the files beside the folders are not indexed
        windows_folder = ("Z:" + folder.replace("/", "\\")).encode()
        for name in files:
            yield name.encode(), windows_folder


def main():
    db, repo = sys.argv[1], os.path.abspath(sys.argv[2])
    with open(db, "rb") as index:
        entries = list(records(index.read()))
    held = {(name, folder) for name, folder, kind in entries if kind == 0}
    wanted = list(repository_files(repo))
    missing = [folder + b"\\" + name for name, folder in wanted if (name, folder) not in held]
    if missing or not wanted:
        print("%d of %d files of %s are not in %s, among them:" % (len(missing), len(wanted), repo, db),
              file=sys.stderr)
        for path in missing[:10]:
            print("  " + path.decode("cp1252", errors="replace"), file=sys.stderr)
        return 1
    print(len(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())

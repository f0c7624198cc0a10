#!/usr/bin/python3
"""Reads the tables of data folders with python3-dbfread and says of each folder whether its
tables hold the state of the first folder (before) or of the second (after).

Usage: crash_check.py [--missing-allowed] <tables> <before> <after> <folder>...
<tables> is a comma-separated list of table files. With --missing-allowed a table file that a
folder lacks matches either state (a table hidden for a moment while a pack switches files);
a table file that is there must match with its memo file.
Prints one line per folder ("before", "after", "neither"); exits 1 when any is neither."""

import os
import sys

from dbfread import DBF


def rows(folder, table):
    path = os.path.join(folder, table)
    if not os.path.exists(path):
        return None
    return [dict(record) for record in DBF(path, char_decode_errors="strict")]


def main(argv):
    missing_allowed = argv[:1] == ["--missing-allowed"]
    if missing_allowed:
        argv = argv[1:]
    tables = argv[0].split(",")
    before = {table: rows(argv[1], table) for table in tables}
    after = {table: rows(argv[2], table) for table in tables}
    failures = 0
    for folder in argv[3:]:
        state = {table: rows(folder, table) for table in tables}

        def matches(expected):
            return all(state[table] == expected[table] or
                       (missing_allowed and state[table] is None) for table in tables)

        verdict = "before" if matches(before) else "after" if matches(after) else "neither"
        failures += verdict == "neither"
        print(folder, verdict)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

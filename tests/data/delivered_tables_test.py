#!/usr/bin/python3
"""Every delivered table, as the build wrote it, read by an independent dBase reader
(python3-dbfread): the same fields and rows as its text source, Chinese text intact.
Usage: delivered_tables_test.py <data source folder> <built data folder>"""

import os
import sys

from dbfread import DBF


def source_rows(path):
    """Field names and rows of a text source (comment lines first, then the field line)."""
    with open(path, encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f]
    lines = [line for line in lines if line.strip()]
    while lines and lines[0].startswith("#"):
        lines.pop(0)
    names = [field.split(" ")[0] for field in lines[0].split("\t")]
    rows = [line.split("\t") for line in lines[1:]]
    return names, rows


def main():
    sources, built = sys.argv[1], sys.argv[2]
    failures = 0
    checked = 0
    for name in sorted(os.listdir(sources)):
        if not name.endswith(".txt") or name == "CMakeLists.txt":
            continue
        table = name[: -len(".txt")]
        names, rows = source_rows(os.path.join(sources, name))
        read = DBF(os.path.join(built, table), encoding="gbk", char_decode_errors="strict")
        problems = []
        if [f.name for f in read.fields] != names:
            problems.append("fields differ")
        records = list(read)
        if len(records) != len(rows):
            problems.append(f"{len(records)} rows read, {len(rows)} in the source")
        for number, (record, cells) in enumerate(zip(records, rows), start=1):
            for field, cell in zip(read.fields, cells):
                if field.type == "C" and (record[field.name] or "") != cell.rstrip(" "):
                    problems.append(f"row {number} {field.name}: {record[field.name]!r} != {cell!r}")
        checked += 1
        for problem in problems[:5]:
            print(f"{table}: {problem}")
        failures += bool(problems)
    print(f"{checked - failures} passed, {failures} failed")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

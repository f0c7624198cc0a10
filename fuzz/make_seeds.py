#!/usr/bin/python3
"""Writes a seed corpus for dbf_fuzz: small tables built by dbftool, each stored as a 4-byte
little-endian table length, the table file and the memo file.
Usage: make_seeds.py <dbftool> <corpus directory>"""

import os
import subprocess
import sys
import tempfile

TABLES = {
    "memo": "ITEM_4 C(10)\tITEM_3 C(20)\tITEM_45 N(12,2)\tITEM_121 D\tFLAG L\tITEM_13 M\n"
            "2004000001\t中文名称\t3.5\t2004-05-01\tT\t" + "甲" * 300 + "\\r\\nline two\n"
            "2004000002\t\t\t\t\t\n"
            "2004000003\tabc\t-12.25\t1999-12-31\tF\tshort memo\n",
    "plain": "CODE C(4)\tNAME C(30)\tN N(5)\n"
             "01\t北京\t1\n02\t天津\t2\n03\t\t\n",
    "empty": "A C(1)\tB M\n",
    "wide": "\t".join(f"F{i} C(20)" for i in range(40)) + "\n" +
            "\t".join(f"v{i}" for i in range(40)) + "\n",
}


def seed(dbf, dbt):
    return len(dbf).to_bytes(4, "little") + dbf + dbt


def main():
    tool, corpus = sys.argv[1], sys.argv[2]
    os.makedirs(corpus, exist_ok=True)
    with tempfile.TemporaryDirectory() as directory:
        for name, text in TABLES.items():
            source = os.path.join(directory, name + ".txt")
            table = os.path.join(directory, name + ".dbf")
            with open(source, "w", encoding="utf-8") as out:
                out.write(text)
            subprocess.run([tool, "build", source, table], check=True)
            dbf = open(table, "rb").read()
            memo_path = table[:-4] + ".dbt"
            dbt = open(memo_path, "rb").read() if os.path.exists(memo_path) else b""
            with open(os.path.join(corpus, name), "wb") as out:
                out.write(seed(dbf, dbt))
            if dbt:
                # The same rows with the second one deleted, and as a dBase IV table whose
                # memo file has 64-byte blocks and one memo in the IV form.
                header_length = int.from_bytes(dbf[8:10], "little")
                record_length = int.from_bytes(dbf[10:12], "little")
                deleted = bytearray(dbf)
                if len(deleted) > header_length + record_length:
                    deleted[header_length + record_length] = ord("*")
                with open(os.path.join(corpus, name + "-deleted"), "wb") as out:
                    out.write(seed(bytes(deleted), dbt))
                four = bytearray(dbf)
                four[0] = 0x8B
                memo = "四号".encode("gbk")
                dbt4 = bytearray(64)
                dbt4[0] = 2
                dbt4[20] = 64
                dbt4 += b"\xff\xff\x08\x00" + (len(memo) + 8).to_bytes(4, "little") + memo
                dbt4 += bytes(-len(dbt4) % 64)
                with open(os.path.join(corpus, name + "-iv"), "wb") as out:
                    out.write(seed(bytes(four), bytes(dbt4)))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Fails when the manual's rule table is not what `velta-site rules --format markdown` prints.

usage: check_rule_table.py VELTA_SITE MANUAL
The table is the manual's block of lines starting with "| id | severity |"; it must equal the
program's output byte for byte. Prints a diff and exits 1 when they differ.
"""
import difflib
import subprocess
import sys


def manual_table(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for start, line in enumerate(lines):
        if line.startswith("| id | severity |"):
            end = start
            while end < len(lines) and lines[end].startswith("|"):
                end += 1
            return "\n".join(lines[start:end]) + "\n"
    return ""


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2])
        return 2
    program, manual = sys.argv[1:]
    printed = subprocess.run([program, "rules", "--format", "markdown"], check=True,
                             capture_output=True).stdout.decode("utf-8")
    shown = manual_table(manual)
    if printed == shown:
        print(f"check_rule_table: {manual} holds the {printed.count(chr(10)) - 2} rules printed")
        return 0
    sys.stdout.writelines(difflib.unified_diff(shown.splitlines(True), printed.splitlines(True),
                                               manual, "velta-site rules --format markdown"))
    return 1


if __name__ == "__main__":
    sys.exit(main())

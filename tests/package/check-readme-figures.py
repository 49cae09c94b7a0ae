#!/usr/bin/env python3
"""Fails when a count that the README or the performance page writes differs
from what the build has, or when the README's exit statuses differ from those
that `tvcvrtrt-check --help` prints.

    check-readme-figures.py SOURCE_DIR BUILD_DIR OBJDUMP WINE

Counts are written next to a word that says what they count; each such word
has a rule here that gives the build's figure, and a count beside one of
those words that no rule knows fails too, so that a new figure cannot go
stale unnoticed:
  "<n> slots that forwarders call"   the traced slots: the tables' slots but
                                     the tested-only ones and the two lock
                                     functions, which are never traced
  "all <n> slots"                    every slot of the tables
  "<found> of <n> symbols found"     on a library's line: n the symbols of
                                     that library's table
  "exports <n> names"                the DLL's export directory
  "<n> tests", "<n> of <m> passed"   the tests that ctest registers
"""
import json
import pathlib
import re
import subprocess
import sys

source, build = (pathlib.Path(a).resolve() for a in sys.argv[1:3])
objdump, wine = sys.argv[3:5]
failures = []


def tables():
    """library file -> (slots, tested-only slots, names) from the binding tables."""
    families = {}
    for table in sorted((source / "forwarding").glob("*_family.inc")):
        text = table.read_text()
        library = re.search(r'^TVC_FAMILY\(\w+, \w+, "([^"]+)"\)', text, re.M).group(1)
        entries = re.findall(r"^TVC_ENTRY\((\w+), (\w+),", text, re.M)
        families[library] = (len(entries), sum(shape == "tested" for shape, _ in entries),
                             {name for _, name in entries})
    return families


def export_count():
    listing = subprocess.run([objdump, "-p", str(build / "bin" / "tvcvrtrt7_17.dll")],
                             capture_output=True, text=True, check=True).stdout
    table = listing.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) != 2:
        failures.append("objdump shows no export name table for the DLL")
        return None
    return len(re.findall(r"^\s+\[\s*\d+\] \S+", table[1].split("\n\n", 1)[0], re.M))


def test_count():
    listing = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                             capture_output=True, text=True, check=True).stdout
    return len(json.loads(listing)["tests"])


def help_exit_statuses():
    """The rows under "Exit status:" of --help, each row's wrapped lines joined."""
    shown = subprocess.run([wine, str(build / "bin" / "tvcvrtrt-check.exe"), "--help"],
                           capture_output=True, text=True, check=True).stdout.replace("\r", "")
    rows = []
    for line in shown.split("\nExit status:\n", 1)[-1].splitlines():
        match = re.fullmatch(r"  (\d+)? +(.*)", line)
        if not match:
            break
        if match.group(1):
            rows.append([match.group(1), match.group(2)])
        elif rows:
            rows[-1][1] += " " + match.group(2)
    return [tuple(row) for row in rows]


def readme_exit_statuses(text):
    table = text.split("| exit status | meaning |\n|---|---|\n", 1)
    if len(table) != 2:
        failures.append('README: no table "| exit status | meaning |"')
        return []
    return re.findall(r"^\| (\d+) \| (.*) \|$", table[1].split("\n\n", 1)[0], re.M)


families = tables()
all_slots = sum(slots for slots, _, _ in families.values())
tested_only = sum(tested for _, tested, _ in families.values())
lock_functions = {"tvcAcquireMutex_proxy", "tvcReleaseMutex_proxy"}
if not lock_functions <= set().union(*(names for _, _, names in families.values())):
    failures.append(f"the tables no longer name the lock functions {sorted(lock_functions)}")
exports, tests = export_count(), test_count()

rules = [
    (r"(\d+) slots that forwarders call", lambda m, line: all_slots - tested_only - len(lock_functions)),
    (r"all (\d+) slots", lambda m, line: all_slots),
    (r"(?:\d+) of (\d+) symbols found",
     lambda m, line: next((slots for library, (slots, _, _) in families.items() if line.split()[0] == library),
                          "a library of the tables")),
    (r"exports (\d+) names", lambda m, line: exports),
    (r"(\d+) tests", lambda m, line: tests),
    (r"\d+ of (\d+) (?:tests )?passed", lambda m, line: tests),
]
counted = re.compile(r"\b\d+ (?:of \d+ )?(?:slots|exports|symbols|tests|forwarders|passed)\b|exports \d+ names")
checked = 0
for page in (source / "README.md", source / "docs" / "performance.md"):
    for number, line in enumerate(page.read_text().splitlines(), 1):
        known = []
        for pattern, expected in rules:
            for match in re.finditer(pattern, line):
                known.append(match.span())
                want = expected(match, line)
                checked += 1
                if str(want) != match.group(1):
                    failures.append(f"{page.name} line {number}: \"{match.group(0)}\", but the build has {want}")
        for match in counted.finditer(line):
            if not any(start < match.end() and match.start() < end for start, end in known):
                failures.append(f"{page.name} line {number}: \"{match.group(0)}\" is a count that this test "
                                "does not know how to check: add a rule")

readme_rows, help_rows = readme_exit_statuses((source / "README.md").read_text()), help_exit_statuses()
if not help_rows:
    failures.append("tvcvrtrt-check --help lists no exit status")
if readme_rows != help_rows:
    failures.append(f"the README's exit statuses {readme_rows} differ from --help's {help_rows}")

print(f"{checked} counts checked against the build ({all_slots} slots, {exports} exports, {tests} tests); "
      f"{len(help_rows)} exit statuses compared with --help")
for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)

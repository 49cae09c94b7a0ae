#!/usr/bin/env python3
"""Runs the README's recipes as written, so that the README cannot drift from
what works.

    check-readme-recipes.py README BUILD_DIR SOURCE_DIR SECTION...

Every code block of the named sections must carry a marker, an HTML comment
on the line before it:
    <!-- recipe: run -->        shell commands, run in one bash session
    <!-- recipe: file NAME -->  written to NAME in the session's directory
    <!-- recipe: output -->     what the run block before it prints
    <!-- recipe: excerpt -->    lines found in what the run block before it
                                prints, but for numbers, spacing and where
                                the checkout lies (the README's is /src/tvcvrtrt)
    <!-- recipe: example -->    shown only: a format, or a run the session
                                cannot make
The session starts in a checkout of its own with $HOME of its own: its build/
holds the real build's install script, with the install manifest written
there instead of into the real build/, the real build's runtime tree and its
wine prefix.
"""
import hashlib
import os
import pathlib
import re
import shlex
import subprocess
import sys

MARKER = re.compile(r"<!-- recipe: (run|file [\w.-]+|output|excerpt|example) -->")


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def sections(text, headings):
    """The lines of each '## heading' section, with their line numbers."""
    lines = text.split("\n")
    picked, keep = [], False
    for number, line in enumerate(lines, 1):
        if line.startswith("## "):
            keep = line[3:] in headings
        if keep:
            picked.append((number, line))
    return picked


def blocks(lines):
    """(kind, argument, text, line number) of every marked fenced block."""
    found, marker, index = [], None, 0
    while index < len(lines):
        number, line = lines[index]
        match = MARKER.fullmatch(line.strip())
        if match:
            marker = match.group(1)
        elif line.startswith("```"):
            if marker is None:
                fail(f"README line {number}: a code block without a recipe marker")
            end = next((i for i in range(index + 1, len(lines)) if lines[i][1] == "```"), None)
            if end is None:
                fail(f"README line {number}: the block does not end")
            kind, _, argument = marker.partition(" ")
            found.append((kind, argument, "\n".join(l for _, l in lines[index + 1:end]) + "\n", number))
            marker, index = None, end
        elif line.startswith("    ") and line.strip():
            fail(f"README line {number}: an indented code block; use a marked fenced one")
        elif line.strip():
            marker = None
        index += 1
    return found


def shape(text, places):
    """The lines of text with the session's checkout and the real build shown
    where the README shows them, every number as #, and runs of blanks as one."""
    for place, shown in places:
        windows = "Z:" + str(place).replace("/", "\\")
        text = text.replace(windows.replace("\\", "\\\\"), shown.replace("\\", "\\\\")).replace(windows, shown)
    text = re.sub(r"\d+(\.\d+)?", "#", re.sub(r"0x[0-9a-f]+", "0x#", text))
    return [" ".join(line.split()) for line in text.splitlines()]


def checksum(path):
    return hashlib.sha256(path.read_bytes()).hexdigest() if path.exists() else "absent"


def main():
    readme, build, source = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
    recipes = blocks(sections(readme.read_text(), sys.argv[4:]))
    if not recipes:
        fail("no recipes found")

    scratch = build / "readme-recipes"
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    checkout, home = scratch / "checkout", scratch / "home"
    (checkout / "build").mkdir(parents=True)
    home.mkdir()
    (checkout / "cmake").symlink_to(source / "cmake")
    for shared in ("demo-runtime", "wineprefix"):
        (checkout / "build" / shared).symlink_to(build / shared)
    manifest_write = f'file(WRITE "{build}/${{CMAKE_INSTALL_MANIFEST}}"'
    script = (build / "cmake_install.cmake").read_text()
    if script.count(manifest_write) != 1:
        fail("the install script does not write its manifest as expected")
    (checkout / "build" / "cmake_install.cmake").write_text(
        script.replace(manifest_write, f'file(WRITE "{checkout}/build/${{CMAKE_INSTALL_MANIFEST}}"'))

    # One session; each run block's output is kept for its output block.
    session = ["set -euo pipefail"]
    for index, (kind, argument, text, number) in enumerate(recipes):
        if kind == "run":
            session += [f"echo '== README line {number}' >&2",
                        f"{{\n{text}}} >{scratch}/output.{index}",
                        f"cat {scratch}/output.{index}"]
        elif kind == "file":
            session.append(f"cat >{shlex.quote(argument)} <<'RECIPE_END'\n{text}RECIPE_END")
    (scratch / "session.sh").write_text("\n".join(session) + "\n")

    real_manifest = build / "install_manifest.txt"
    before = checksum(real_manifest)
    # The wine prefix and wine's messages as the README sets them.
    environment = {k: v for k, v in os.environ.items() if k not in ("WINEPREFIX", "WINEDEBUG")}
    environment["HOME"] = str(home)
    if subprocess.run(["bash", str(scratch / "session.sh")], cwd=checkout, env=environment).returncode:
        fail("a recipe failed (the last '== README line' above names it)")

    places = ((checkout, r"Z:\src\tvcvrtrt"), (build, r"Z:\src\tvcvrtrt\build"))
    for index, (kind, _, text, number) in enumerate(recipes):
        if kind not in ("output", "excerpt"):
            continue
        if index == 0 or recipes[index - 1][0] != "run":
            fail(f"README line {number}: an {kind} block that follows no run block")
        printed = (scratch / f"output.{index - 1}").read_text().replace("\r", "")
        if kind == "output" and printed != text:
            fail(f"README line {number}: the commands before printed\n{printed}instead of\n{text}")
        missing = set(shape(text, places)) - set(shape(printed, places))
        if missing:
            fail(f"README line {number}: the commands before printed\n{printed}without the lines {missing}")
    if checksum(real_manifest) != before:
        fail(f"{real_manifest} changed")
    left = [p for p in (home / "tvcvrtrt7_17").rglob("*") if p.is_file()]
    if left:
        fail(f"the uninstall left {left}")
    print(f"{len(recipes)} README blocks run as written")


main()

#!/usr/bin/env python3
"""Runs the README's recipes as written, so that the README cannot drift from
what works.

    check-readme-recipes.py README BUILD_DIR SECTION...

Every code block of the named sections, and of "Before you start", must
carry a marker, an HTML comment on the line before it:
    <!-- recipe: run -->        shell commands, run in one bash session
    <!-- recipe: run last -->   in "Before you start": run after the section
    <!-- recipe: file NAME -->  written to NAME in the session's directory;
                                the text before it names the file (`NAME`)
    <!-- recipe: output -->     what the run block before it prints
    <!-- recipe: excerpt -->    lines found in what the run block before it
                                prints, but for numbers, spacing and where
                                the checkout and $HOME lie (the README's are
                                /src/tvcvrtrt and /home/user)
    <!-- recipe: example -->    shown only: a format, or a run the session
                                cannot make
Each section runs on its own, as a reader who opens it would: a bash
session of its own, started in a checkout of its own with a $HOME of its
own and no wine settings in its environment, runs the run blocks of "Before
you start", the section's blocks, then the run last blocks. The checkout's
build/ holds the real build's install script, with the install manifest and
the list of the directories the install made written there instead of into
the real build/, the real build's runtime tree and its wine prefix, and build.sh is the
checkout's own.
"""
import hashlib
import os
import pathlib
import re
import shlex
import subprocess
import sys

MARKER = re.compile(r"<!-- recipe: (run last|run|file [\w.-]+|output|excerpt|example) -->")
SETUP = "Before you start"
SOURCE = None  # the checkout of the README, set by main


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def section(text, heading):
    """The lines of the '## heading' section, with their line numbers."""
    picked, keep = [], False
    for number, line in enumerate(text.split("\n"), 1):
        if line.startswith("## "):
            keep = line[3:] == heading
        if keep:
            picked.append((number, line))
    if not picked:
        fail(f'no section "{heading}"')
    return picked


def blocks(lines):
    """(kind, argument, text, line number) of every marked fenced block."""
    found, marker, prose, index = [], None, [], 0
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
            # A rendered README hides the marker: the text must name the file.
            if kind == "file" and f"`{argument}`" not in "\n".join(prose):
                fail(f"README line {number}: the text before the block does not name `{argument}`")
            found.append((kind, argument, "\n".join(l for _, l in lines[index + 1:end]) + "\n", number))
            marker, prose, index = None, [], end
        elif line.startswith("    ") and line.strip():
            fail(f"README line {number}: an indented code block; use a marked fenced one")
        elif line.strip():
            marker = None
            prose.append(line)
        index += 1
    return found


def shape(text, places):
    """The lines of text with the session's checkout and the real build shown
    where the README shows them, every number as #, a trace's clock as the
    README's (the machine decides between the two), and runs of blanks as one."""
    for place, shown in places:
        windows = "Z:" + str(place).replace("/", "\\")
        text = text.replace(windows.replace("\\", "\\\\"), shown.replace("\\", "\\\\")).replace(windows, shown)
    text = re.sub(r" clock=qpc:", " clock=tsc:", text)
    text = re.sub(r"\d+(\.\d+)?", "#", re.sub(r"0x[0-9a-f]+", "0x#", text))
    return [" ".join(line.split()) for line in text.splitlines()]


def checksum(path):
    return hashlib.sha256(path.read_bytes()).hexdigest() if path.exists() else "absent"


def lay_out(scratch, build):
    """A checkout of its own and a $HOME of its own for one section."""
    checkout, home = scratch / "checkout", scratch / "home"
    (checkout / "build").mkdir(parents=True)
    home.mkdir()
    for shared in ("demo-runtime", "wineprefix"):
        (checkout / "build" / shared).symlink_to(build / shared)
    # A section that needs more packages than the demo's installs them with
    # the checkout's build.sh (what it installs is checked by
    # build_programs_come_from_installed_packages).
    (checkout / "build.sh").symlink_to(SOURCE / "build.sh")
    script = (build / "cmake_install.cmake").read_text()
    for written in ("${CMAKE_INSTALL_MANIFEST}", "${TVCVRTRT_INSTALL_DIRECTORIES}"):
        original = f'file(WRITE "{build}/{written}"'
        if script.count(original) != 1:
            fail(f"the install script does not write {written} as expected")
        script = script.replace(original, f'file(WRITE "{checkout}/build/{written}"')
    (checkout / "build" / "cmake_install.cmake").write_text(script)
    return checkout, home


def run_section(heading, setup, recipes, scratch, build, keep):
    """Runs one section's recipes in a session of their own; keep names a
    directory under $HOME made before the install, which the uninstall must
    leave."""
    checkout, home = lay_out(scratch, build)
    if keep:
        (home / keep).mkdir(parents=True)
    first = [b for b in setup if b[0] == "run" and b[1] != "last"]
    last = [b for b in setup if b[0] == "run" and b[1] == "last"]
    session = ["set -euo pipefail"]
    for index, (kind, argument, text, number) in enumerate(first + recipes + last):
        if kind == "run":
            session += [f"echo '== README line {number}' >&2",
                        f"{{\n{text}}} >{scratch}/output.{index}",
                        f"cat {scratch}/output.{index}"]
        elif kind == "file":
            session.append(f"cat >{shlex.quote(argument)} <<'RECIPE_END'\n{text}RECIPE_END")
    (scratch / "session.sh").write_text("\n".join(session) + "\n")

    # No wine settings inherited: the section must make its own.
    environment = {k: v for k, v in os.environ.items() if k not in ("WINEPREFIX", "WINEDEBUG")}
    environment["HOME"] = str(home)
    print(f"== {heading}", flush=True)
    if subprocess.run(["bash", str(scratch / "session.sh")], cwd=checkout, env=environment).returncode:
        fail(f'"{heading}": a recipe failed (the last "== README line" above names it)')

    # The session's own directories lie inside the real build: they go first.
    places = ((checkout, r"Z:\src\tvcvrtrt"), (home, r"Z:\home\user"), (build, r"Z:\src\tvcvrtrt\build"))
    for index, (kind, _, text, number) in enumerate(recipes):
        if kind not in ("output", "excerpt"):
            continue
        if index == 0 or recipes[index - 1][0] != "run":
            fail(f"README line {number}: an {kind} block that follows no run block")
        printed = (scratch / f"output.{len(first) + index - 1}").read_text().replace("\r", "")
        if kind == "output" and printed != text:
            fail(f"README line {number}: the commands before printed\n{printed}instead of\n{text}")
        missing = set(shape(text, places)) - set(shape(printed, places))
        if missing:
            fail(f"README line {number}: the commands before printed\n{printed}without the lines {missing}")
    if (home / ".wine").exists():
        fail(f'"{heading}": wine made ~/.wine: the section runs wine without its prefix')
    left = sorted(str(p.relative_to(home)) for p in home.rglob("*") if p.parts[len(home.parts)] == "tvcvrtrt7_17")
    expected = sorted(str(p) for p in [pathlib.Path(keep), *pathlib.Path(keep).parents][:-1]) if keep else []
    if left != expected:
        fail(f'"{heading}": after the uninstall $HOME holds {left}, not {expected}')


def main():
    readme, build = (pathlib.Path(a).resolve() for a in sys.argv[1:3])
    global SOURCE
    SOURCE = readme.parent
    text = readme.read_text()
    setup = blocks(section(text, SETUP))
    if not [b for b in setup if b[0] == "run" and b[1] == "last"]:
        fail(f'"{SETUP}" has no block to run last (the uninstall)')
    scratch = build / "readme-recipes"
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    real_manifest = build / "install_manifest.txt"
    before = checksum(real_manifest)
    count = 0
    for number, heading in enumerate(sys.argv[3:]):
        recipes = blocks(section(text, heading))
        if not recipes:
            fail(f'"{heading}" has no recipes')
        # Every other section finds a directory of the install there already.
        keep = "tvcvrtrt7_17/lib" if number % 2 else None
        run_section(heading, setup, recipes, scratch / str(number), build, keep)
        count += len(recipes)
    if checksum(real_manifest) != before:
        fail(f"{real_manifest} changed")
    print(f"{count} README blocks of {len(sys.argv) - 3} sections run as written, each on its own")


main()

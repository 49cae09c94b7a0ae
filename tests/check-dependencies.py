#!/usr/bin/env python3
"""Fails unless every program that the build and the tests run comes from a
package that build.sh installs (or one those need) or from the base system.

    check-dependencies.py <build dir> <source dir>

A machine that had a package before build.sh ever ran passes the tests all
the same; a fresh one does not. The programs are read from what the build
really uses, not from a list kept beside build.sh:
  - every path to a program in the CMake cache (compilers, binutils, widl,
    clang, lld-link, llvm-rc, ...), and every program that CMake looked for
    and did not find;
  - the commands of every registered test (wine, python3, sh, ...);
  - the commands of the shell scripts in the tree and of the README blocks
    that a test runs, where they name a program on PATH.
Each program's owner is looked up in dpkg's file lists (what dpkg -S
searches), along its chain of symbolic links (/usr/bin/wine ->
/etc/alternatives/wine -> /usr/bin/wine-stable).
"""
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

build, source = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
ours = (str(build) + "/", str(source) + "/")
failures = []


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


# ---- the packages: what build.sh installs for the build and the tests,
# with every package they depend on, and the base system.
def build_sh_packages():
    text = (source / "build.sh").read_text()
    names = []
    for array in ("packages", "test_packages"):
        match = re.search(rf"^{array}=\(([^)]*)\)", text, re.M)
        if not match:
            failures.append(f"build.sh: no {array}=(...) list")
            continue
        names += match.group(1).split()
    return names


def installed_packages():
    """name -> (depends, provides, base) of every installed package."""
    packages = {}
    fields = "${Package}\t${Status}\t${Priority}\t${Essential}\t${Pre-Depends}, ${Depends}\t${Provides}\n"
    for line in run("dpkg-query", "-W", "-f", fields).splitlines():
        name, status, priority, essential, depends, provides = line.split("\t")
        if not status.endswith(" installed"):
            continue
        alternatives = [[re.sub(r"[\s(:].*", "", choice.strip()) for choice in group.split("|")]
                        for group in depends.split(",") if group.strip()]
        packages[name] = (alternatives, [re.sub(r"[\s(:].*", "", p.strip()) for p in provides.split(",") if p.strip()],
                          priority == "required" or essential == "yes")
    return packages


def closure(roots, packages):
    providers = {}
    for name, (_, provides, _) in packages.items():
        for virtual in [name] + provides:
            providers.setdefault(virtual, []).append(name)
    seen, todo = set(), list(roots)
    while todo:
        name = todo.pop()
        for real in providers.get(name, []):
            if real not in seen:
                seen.add(real)
                todo += [choice for group in packages[real][0] for choice in group]
    return seen


# ---- the programs
def cmake_cache_programs():
    """The toolchain's programs (CMAKE_...) and those the project looks for
    (TVC_...); CTest's dashboard programs (git, valgrind) are never run."""
    programs = {}
    for line in (build / "CMakeCache.txt").read_text().splitlines():
        match = re.match(r"([\w.+-]+):(\w+)=(.*)$", line)
        if not match:
            continue
        key, kind, value = match.groups()
        if not key.startswith(("CMAKE_", "TVC_")):
            continue
        # CMake's own optional tools (CMAKE_TAPI: Apple's) may be absent;
        # a program the project looks for may not.
        if value.endswith("-NOTFOUND") and key.startswith("TVC_"):
            failures.append(f"{key}: CMake found no {value[:-len('-NOTFOUND')] or key}")
        elif value.startswith("/") and os.path.isfile(value) and os.access(value, os.X_OK) \
                and not value.startswith(ours):
            programs.setdefault(value, f"the CMake cache ({key})")
    return programs


def test_programs():
    programs = {}
    listing = json.loads(run("ctest", "--test-dir", str(build), "--show-only=json-v1"))
    for test in listing["tests"]:
        command = test.get("command", [])
        # A test that is a shell command line ("sh -c '... && localedef ...'").
        if len(command) > 2 and os.path.basename(command[0]) in ("sh", "bash") and command[1] == "-c":
            command = command[:1] + shell_commands(command[2])
        for word in command:
            path = word if word.startswith("/") else shutil.which(word) if "/" not in word else None
            if path and os.path.isfile(path) and os.access(path, os.X_OK) \
                    and not os.path.realpath(path).startswith(ours):
                programs.setdefault(path, f"the test {test['name']}")
    return programs


SHELL_WORDS = set(run("bash", "-c", "compgen -b; compgen -k").split())
# Words after which the next word is the command.
PREFIXES = {"!", "if", "then", "else", "elif", "do", "while", "until", "time", "exec", "command", "nohup",
            "xargs", "env"}


def shell_commands(text):
    """The words in command position of a shell text, heredoc bodies and
    comments left out."""
    words, heredoc, functions = [], None, set(re.findall(r"^\s*([\w-]+)\s*\(\)", text, re.M))
    for line in text.splitlines():
        if heredoc:
            if line.strip() == heredoc:
                heredoc = None
            continue
        match = re.search(r"<<-?\s*['\"]?(\w+)['\"]?", line)
        if match:
            heredoc = match.group(1)
        line = re.sub(r"(^|\s)#.*", "", line)
        for piece in re.split(r"\|\||&&|[|;(){}`]|\$\(", line):
            tokens = piece.split()
            while tokens and (tokens[0] in PREFIXES or re.match(r"^[A-Za-z_]\w*=", tokens[0])):
                tokens.pop(0)
            if tokens and re.fullmatch(r"[A-Za-z0-9_.+-]+", tokens[0]) and tokens[0] not in SHELL_WORDS \
                    and tokens[0] not in functions:
                words.append(tokens[0])
    return words


def script_programs():
    programs = {}
    scripts = [source / ".ci" / "run"]
    for directory, subdirectories, files in os.walk(source):
        # Build trees (this one, or another inside the checkout) hold copies.
        subdirectories[:] = [name for name in subdirectories if not name.startswith(".")
                             and not (Path(directory) / name / "CMakeCache.txt").exists()]
        scripts += [Path(directory) / name for name in files if name.endswith(".sh")]
    texts = [(str(path.relative_to(source)), path.read_text()) for path in scripts if path.is_file()]
    # The README's blocks that the recipe test runs as written.
    readme = (source / "README.md").read_text()
    texts += [("README.md", block) for block in
              re.findall(r"<!-- recipe: run -->\s*\n```\w*\n(.*?)```", readme, re.S)]
    for name, text in texts:
        for word in shell_commands(text):
            path = shutil.which(word)
            if path and not os.path.realpath(path).startswith(ours):
                programs.setdefault(path, name)
    return programs


def file_owners():
    """path -> packages, from the file lists that dpkg -S searches."""
    index = {}
    for listing in Path("/var/lib/dpkg/info").glob("*.list"):
        package = listing.stem.split(":")[0]
        for line in listing.read_text(errors="replace").splitlines():
            index.setdefault(line, set()).add(package)
    return index


OWNERS = file_owners()


def owners(path):
    """The packages that ship path, following its symbolic links."""
    for _ in range(10):
        # With /bin merged into /usr/bin, dpkg knows a file by either name.
        alias = path[4:] if path.startswith("/usr/") else "/usr" + path
        names = OWNERS.get(path, set()) | OWNERS.get(alias, set())
        if names:
            return names
        if not os.path.islink(path):
            return set()
        path = os.path.normpath(os.path.join(os.path.dirname(path), os.readlink(path)))
    return set()


def system_copy(path):
    """A program that no package ships (a version manager's python3 first on
    PATH) stands for the one of that name that a fresh machine runs."""
    if owners(path):
        return path
    for directory in ("/usr/bin", "/usr/sbin", "/bin", "/sbin"):
        candidate = os.path.join(directory, os.path.basename(path))
        if os.path.isfile(candidate) and owners(candidate):
            return candidate
    return path


packages = installed_packages()
installed_by_build = closure(build_sh_packages(), packages)
base = closure([name for name, (_, _, is_base) in packages.items() if is_base], packages)
programs = {}
for found in (script_programs(), test_programs(), cmake_cache_programs()):
    programs.update(found)
for found, where in sorted(programs.items()):
    path = system_copy(found)
    names = owners(path)
    if names & installed_by_build:
        verdict = "build.sh: " + ", ".join(sorted(names & installed_by_build))
    elif names & base:
        verdict = "base system: " + ", ".join(sorted(names & base))
    else:
        verdict = None
        failures.append(f"{found} (run by {where}) comes from "
                        + (", ".join(sorted(names)) if names else "no package")
                        + ", which build.sh does not install")
    if verdict:
        print(f"{path}: {verdict}")
print(f"{len(programs)} programs checked")


# ---- each README section that runs its recipes, on a machine that has only
# what `./build.sh demo` installed: the programs of its blocks and of "Before
# you start" come from the demo's packages, the base system, or the packages
# that the section installs itself with a command of build.sh.
def build_sh_installs():
    """build.sh's command -> the packages it installs."""
    text = (source / "build.sh").read_text()
    arrays = {name: value.split() for name, value in re.findall(r"^(\w+)=\(([^)]*)\)", text, re.M)}
    installs = {}
    for command, body in re.findall(r"^  ([\w-]+)\)\n(.*?);;", text, re.M | re.S):
        for line in re.findall(r"install_missing (.*)", body):
            installs.setdefault(command, []).extend(
                word for array in re.findall(r'"\$\{(\w+)\[@\]\}"', line) for word in arrays.get(array, []))
            installs[command] += [word for word in line.split() if re.fullmatch(r"[a-z0-9][a-z0-9.+-]+", word)]
    return installs


def readme_sections():
    """heading -> the text of its run blocks."""
    sections = {}
    for part in ("\n" + (source / "README.md").read_text()).split("\n## ")[1:]:
        heading, _, body = part.partition("\n")
        blocks = re.findall(r"<!-- recipe: run(?: last)? -->\s*\n```\w*\n(.*?)```", body, re.S)
        if blocks:
            sections[heading] = "\n".join(blocks)
    return sections


installs = build_sh_installs()
if "demo" not in installs:
    failures.append("build.sh: no demo command that installs packages")
demo_machine = closure(installs.get("demo", []), packages) | base
sections = readme_sections()
setup = sections.pop("Before you start", "")
for heading, text in sections.items():
    own = [package for command in re.findall(r"\./build\.sh ([\w-]+)", text)
           for package in installs.get(command, [])]
    available = demo_machine | closure(own, packages)
    for word in sorted(set(shell_commands(setup + "\n" + text))):
        path = shutil.which(word)
        if not path or os.path.realpath(path).startswith(ours):
            continue
        names = owners(system_copy(path))
        if not names & available:
            failures.append(f'README "{heading}" runs {word} (from {", ".join(sorted(names)) or "no package"}), '
                            "which a machine with the demo's packages lacks: install it in the section")
print(f"{len(sections)} README sections checked against the demo's packages")
for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)

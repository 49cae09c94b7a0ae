#!/usr/bin/env python3
"""Provokes the cause of every row of the README's Troubleshooting table and
checks that the row's symptom is what the user then sees.

    check-troubleshooting.py README BUILD_DIR SOURCE_DIR

A row's symptom is checked by its double-quoted texts ("<...>" and "…" in
them stand for any text), each of which must be in what the commands print
(standard output and error), and by "exits with N" and "prints nothing",
which the first command's status and output must show. Every row needs a
case below and every case a row. A case's commands run one by one under
bash in a scratch directory, with WINEDEBUG=-all as the README's recipes
set it; the variables below name the build's files.
"""
import os
import pathlib
import re
import subprocess
import sys

# Programs made once for the cases: hello.exe (C, the library through its
# import library), retry.exe (the same, initializing twice), threads.exe (C++
# with the posix-thread compiler, linked -static-libgcc -static-libstdc++),
# throws.exe (the platform's ABI, calling init_proxy_libraries), and runtime
# trees: "gaps" lacks three symbols, "lacking" lacks libvlt.dll.
SETUP = r'''
set -e
printf '#include <tvcvrtrt7_17.h>\nint main(void) { return tvcvrtInitialize_proxy() ? 0 : 1; }\n' >hello.c
x86_64-w64-mingw32-gcc hello.c -I"$source/include" "$build/lib/libtvcvrtrt7_17.dll.a" -o hello.exe
printf '#include <tvcvrtrt7_17.h>\nint main(void) { tvcvrtInitialize_proxy(); return tvcvrtInitialize_proxy() ? 0 : 1; }\n' >retry.c
x86_64-w64-mingw32-gcc retry.c -I"$source/include" "$build/lib/libtvcvrtrt7_17.dll.a" -o retry.exe
printf '#include <cstdio>\n#include <string>\nint main() { std::string s = "x"; std::puts(s.c_str()); }\n' >threads.cpp
x86_64-w64-mingw32-g++-posix -static-libgcc -static-libstdc++ threads.cpp -o threads.exe
printf '#include <tvcvrtrt/runtime.h>\nint main() { init_proxy_libraries(); return 0; }\n' >throws.cpp
clang --target=x86_64-pc-windows-msvc -ffreestanding -fno-exceptions -I"$source/include" -c throws.cpp -o throws.obj
lld-link /nologo /entry:main /nodefaultlib /subsystem:console /out:throws.exe throws.obj "$build/lib/tvcvrtrt7_17.lib"
printf 'int main(void) { volatile double x = 1.5; return x > 1.0; }\n' >float.c
clang --target=x86_64-pc-windows-msvc -c float.c -o float.obj
for tree in gaps lacking; do mkdir -p $tree/bin/win64 && cp "$runtime"/*.dll "$runtime/tvcvrtrt-check.exe" $tree/bin/win64/; done
cp "$build/check-trees/symbol-gap-libraries"/{libka,tvcbase}.dll gaps/bin/win64/
rm lacking/bin/win64/libvlt.dll
# A class of the COM components category, under fresh GUIDs, whose type
# library is 4 bytes "MSFT", on which Wine's reader crashes.
printf MSFT >crash.tlb
read -r tag class library < <(python3 -c 'import uuid; print(uuid.uuid4().hex[:8], *("{%s}" % str(uuid.uuid4()).upper() for _ in "ab"))')
echo "TvcTrouble$tag" >crash.name
tlb=$(sed 's|/|\\\\|g' <<<"Z:$PWD/crash.tlb")
printf '%s\n' REGEDIT4 "[HKEY_CLASSES_ROOT\\CLSID\\$class]" '@="Crash"' \
  "[HKEY_CLASSES_ROOT\\CLSID\\$class\\Implemented Categories\\{74D52C72-7A9B-47AB-BFBE-93C1C1A545BD}]" \
  "[HKEY_CLASSES_ROOT\\CLSID\\$class\\InprocServer32]" '@="C:\\nowhere\\crash.dll"' \
  "[HKEY_CLASSES_ROOT\\CLSID\\$class\\ProgID]" "@=\"TvcTrouble$tag.Crash.1\"" \
  "[HKEY_CLASSES_ROOT\\CLSID\\$class\\VersionIndependentProgID]" "@=\"TvcTrouble$tag.Crash\"" \
  "[HKEY_CLASSES_ROOT\\CLSID\\$class\\TypeLib]" "@=\"$library\"" '"Version"="1.0"' \
  "[HKEY_CLASSES_ROOT\\TypeLib\\$library\\1.0]" '@="Crash library"' \
  "[HKEY_CLASSES_ROOT\\TypeLib\\$library\\1.0\\0\\win64]" "@=\"$tlb\"" >crash.reg
printf '%s\n' REGEDIT4 "[-HKEY_CLASSES_ROOT\\CLSID\\$class]" "[-HKEY_CLASSES_ROOT\\TypeLib\\$library]" >uncrash.reg
# holder.exe FILE PROGRAM: holds FILE open for reading, sharing no writing,
# while PROGRAM runs; its status.
printf '#include <windows.h>\n#include <process.h>\nint main(int c, char **v) { HANDLE f = CreateFileA(v[1], GENERIC_READ, FILE_SHARE_READ, 0, OPEN_ALWAYS, 0, 0); int s = (int)_spawnl(_P_WAIT, v[2], v[2], NULL); CloseHandle(f); return s; }\n' >holder.c
x86_64-w64-mingw32-gcc holder.c -o holder.exe
# cut.py: traces into cut.trace with the forwarding host, which the script
# cuts to nothing between two series of calls.
cat >cut.py <<'CUT'
import os, subprocess
bin = os.environ["build"] + "/bin"
child = subprocess.Popen(["wine", bin + "/forwarding_host.exe", "lib:Z:" + bin.replace("/", "\\") + "\\test_runtime",
                          "trace:cut.trace", "init", "calls:10", "await-input", "calls:10"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE)
child.stdout.readline(), child.stdout.readline()
os.truncate("cut.trace", 0)
print(child.communicate(b"go\n", timeout=120)[0].decode(), end="")
CUT
# fifo.py: a FIFO whose buffer it keeps full, and hello.exe tracing into it.
cat >fifo.py <<'FIFO'
import contextlib, fcntl, os, subprocess
os.path.exists("calls.fifo") or os.mkfifo("calls.fifo")
end = os.open("calls.fifo", os.O_RDWR | os.O_NONBLOCK)
fcntl.fcntl(end, 1031, 4096)  # F_SETPIPE_SZ
with contextlib.suppress(BlockingIOError):
    while True:
        os.write(end, bytes(4096))
subprocess.run(["wine", "./hello.exe"], env=dict(os.environ, TVCVRTRT_TRACE="calls.fifo", WINEPATH=os.environ["runtime"]))
FIFO
# register.exe add|remove CLSID VERSION_INDEPENDENT_PROG_ID PROG_ID, printing
# the result; two fresh classes and a fresh ProgID stem in classes.txt.
printf '%s\n' '#include <stdio.h>' '#include <tvcvrtrt7_17.h>' 'int main(int argc, char **argv) {' \
  '    GUID clsid, libid = {0}; HRESULT hr;' \
  '    if (argc != 5 || !tvcGUIDFromString_proxy(argv[2], &clsid)) return 2;' \
  '    hr = argv[1][0] == 0x61 ? tvcRegisterServer_proxy("tvcvrtrt7_17.dll", &clsid, &libid, 1, 0, "Trouble", argv[3], argv[4], "Both")' \
  '                            : tvcUnregisterServer_proxy(&clsid, argv[3], argv[4]);' \
  '    printf("%s %s: 0x%08lX\n", argv[1], argv[4], (unsigned long)hr);' \
  '    return FAILED(hr);' '}' >register.c
x86_64-w64-mingw32-gcc register.c -I"$source/include" "$build/lib/libtvcvrtrt7_17.dll.a" -o register.exe
python3 -c 'import uuid; print(*("{%s}" % str(uuid.uuid4()).upper() for _ in "ab"), "TvcTrouble" + uuid.uuid4().hex[:8])' >classes.txt
printf '# pid=1 start=2026-01-01T00:00:00Z exe=C:\\a.exe\n1 0.5 kaGetM_proxy(0x1) = 2 0.100us\nnot a trace line\nnor this\n# pid=2 start=2026-01-01T00:00:01Z exe=C:\\b.exe\n2 0.5 kaGetN_proxy(0x1) = 3 0.100us\n' >mixed.trace
'''

# (a text of the row's symptom, the commands, a note). A note marks a Wine
# quirk: then the commands may also succeed without the symptom, or, where
# the note is a pair (note, text), end with the text instead.
CASES = [
    ("exits with 53 and prints nothing",
     ["wine ./hello.exe", "env -u WINEDEBUG wine ./hello.exe"], None),
    ("`tvcvrtrt7_17.dll` was not found",
     ["wine ./hello.exe", "env -u WINEDEBUG wine ./hello.exe"], None),
    ("cannot get path to runtime module",
     # A folder of about 2,600 characters, in eleven names of 230.
     ['long="$PWD/longer"; for i in $(seq 11); do long="$long/$(printf "%0230d" 0)"; done'
      ' && mkdir -p "$long" && cp hello.exe "$build/bin/tvcvrtrt7_17.dll" "$long/"'
      ' && VRTROOT="$runtime/../.." wine "$long/hello.exe"'], None),
    ("cannot get path to VRT root",
     # Unreachable by length: a library folder whose "..\..\" would not
     # fit a runtime path leaves no room for the library's own file name.
     # The library's folder, as Windows writes it with its backslash, is 256
     # characters: the root two levels above is found, and holds no runtime.
     ['deep="$PWD/$(printf "%0$((252 - ${#PWD}))d" 0)" && mkdir -p "$deep" && cp "$build/bin/tvcvrtrt7_17.dll" "$deep/"'
      ' && WINEPATH="$deep" wine ./hello.exe'],
     ("the directory two levels above a library folder of 256 characters is found, so the library loads and "
      "finds no runtime there", "An Error has occurred while trying to initialize the VRT.")),
    ("Fatal error loading library",
     ['mkdir -p beside && cp hello.exe "$build/bin/tvcvrtrt7_17.dll" beside/ && cd beside && wine ./hello.exe'], None),
    ("Fatal error finding symbol",
     ['WINEPATH="$PWD/gaps/bin/win64" wine ./hello.exe'], None),
    ("A fatal error has occurred while initializing libraries",
     ['grep -h "A fatal error" "$source/tests/bootstrap/attach/process_attach_test.cpp"'], None),
    ("cannot open <file> named by TVCVRTRT_TRACE",
     ['TVCVRTRT_TRACE="$PWD/no/such/dir/calls.trace" WINEPATH="$runtime" wine ./hello.exe'], None),
    ("is open in another program",
     ['TVCVRTRT_TRACE=held.trace WINEPATH="$runtime" wine ./holder.exe held.trace hello.exe'], None),
    ("writing to the file named by TVCVRTRT_TRACE failed",
     ['TVCVRTRT_TRACE="Z:\\dev\\full" WINEPATH="$runtime" wine ./hello.exe'], None),
    ("took no line for a second",
     ["python3 fifo.py"], None),
    ("was cut short by another program",
     ["python3 cut.py"], None),
    ("bad pattern",
     ['TVCVRTRT_TRACE=calls.trace TVCVRTRT_TRACE_FILTER="!" WINEPATH="$runtime" wine ./hello.exe'], None),
    ("Six \"… path:\" lines",
     ['TVCVRTRT_VERBOSE=0 WINEPATH="$runtime" wine ./hello.exe'], None),
    ("PATH left as it was",
     # PATH a few characters short of the 32,767 an environment value holds
     # (Wine 8 keeps a longer value modulo 32,768), measured from the
     # prefix's own PATH; the library beside the program, so that nothing is
     # looked for along PATH.
     ['mkdir -p crowded && cp hello.exe "$build/bin/tvcvrtrt7_17.dll" crowded/ && cd crowded'
      ' && base=$(wine cmd /c "echo %PATH%" | tr -d "\\r\\n" | wc -c)'
      ' && TVCVRTRT_VERBOSE=1 VRTROOT="$runtime/../.."'
      ' WINEPATH="$(printf "C:\\\\%08d;" $(seq $(((32750 - base) / 12))))" wine ./hello.exe'], None),
    ("A retry of a failed initialization",
     # The library that lacks a symbol stays loaded: the retry binds the same.
     ['WINEPATH="$PWD/gaps/bin/win64" wine ./retry.exe'], None),
    ("Initializing Tovan Compiler Runtime version 7.17",
     ['wine "$runtime/sample_app.exe"'], None),
    ("unhandled exception 0x20474343",
     ['cp "$build/bin/tvcvrtrt7_17.dll" . && VRTROOT="$PWD" wine ./throws.exe'], None),
    ("libwinpthread-1.dll",
     ["wine ./threads.exe", "env -u WINEDEBUG wine ./threads.exe"], None),
    ("VRTROOT not used",
     ['TVCVRTRT_VERBOSE=1 VRTROOT="$(printf \'C:\\\\tvc-missing-\\xea\\xb0\\x80\')" WINEPATH="$runtime" wine ./hello.exe'], None),
    ("returns the release layout of std::string",
     ["printf '#include <tvcvrtrt/diagnostics.h>\\nint main() { return (int)tvcvrtrtGetSentinelLibName().size(); }\\n'"
      ' >checked.cpp && clang --target=x86_64-pc-windows-msvc -std=c++17 -fsyntax-only -D_ITERATOR_DEBUG_LEVEL=2'
      ' -I"$source/tests/package/platform_client/checked_string" -I"$source/include" checked.cpp'], None),
    ("undefined symbol: _fltused",
     ["lld-link /nologo /entry:main /nodefaultlib /out:float.exe float.obj"], None),
    ("and the folder has no short (8.3) name that the code page holds",
     ['VRTROOT="$(printf \'C:\\\\tvc-missing-\\xea\\xb0\\x80\')" wine "$runtime/tvcvrtrt-check.exe" --no-components'], None),
    ("longer than the 2560 characters a runtime path holds",
     ['VRTROOT="$(printf "%02600d" 0)" wine "$runtime/tvcvrtrt-check.exe" --no-components'], None),
    ("the runtime is handed its paths in narrow form",
     ['long="$PWD/$(printf "%0200d" 0)/$(printf "%080d" 0)" && mkdir -p "$long/bin/win64"'
      ' && VRTROOT="$long" wine "$runtime/tvcvrtrt-check.exe" --no-components'], None),
    ("NOT LOADED",
     ["wine lacking/bin/win64/tvcvrtrt-check.exe --no-components"], None),
    ("lines \"missing <symbol>: <reason>\"",
     ["wine gaps/bin/win64/tvcvrtrt-check.exe --no-components"], None),
    ("the reader crashed",
     ['wine regedit /S crash.reg; wine "$runtime/tvcvrtrt-check.exe" --component "$(cat crash.name)" --load;'
      ' status=$?; wine regedit /S uncrash.reg; exit $status'], None),
    ("Component query: <what>: 0x<code>",
     # A LIBID that nothing registers, asked for by a program of the user's.
     [r"""printf '#include <tvcvrtrt7_17.h>\nint main(void) { componentInfo *r = 0; """
      r"""return tvcGetLIBIDInfo_proxy("{00000000-0000-0000-0000-000000000000}", 1, 0, 1, &r) == 0; }\n' >query.c"""
      r""" && x86_64-w64-mingw32-gcc query.c -I"$source/include" "$build/lib/libtvcvrtrt7_17.dll.a" -o query.exe"""
      r""" && TVCVRTRT_VERBOSE=1 WINEPATH="$runtime" wine ./query.exe"""], None),
    ("cannot read the trace file",
     ['wine "$runtime/tvcvrtrt-check.exe" --trace-summary absent.trace'], None),
    ("lines not in the trace format",
     ['wine "$runtime/tvcvrtrt-check.exe" --trace-summary mixed.trace; '
      'wine "$runtime/tvcvrtrt-check.exe" --trace-timeline mixed.trace mixed.json'], None),
    ("holds M runs, not run N",
     ['wine "$runtime/tvcvrtrt-check.exe" --trace-summary mixed.trace --run 3'], None),
    ("cannot write OUT.json",
     ['wine "$runtime/tvcvrtrt-check.exe" --trace-timeline mixed.trace no/such/dir/out.json'], None),
    ("0x800700B7",
     # A file type under the ProgID's name.
     ['read -r one two stem <classes.txt && printf "%s\\n" REGEDIT4 "[HKEY_CLASSES_ROOT\\\\$stem.File\\\\shell\\\\open\\\\command]"'
      ' >file-type.reg && wine regedit /S file-type.reg'
      ' && WINEPATH="$runtime" wine ./register.exe add "$one" "$stem" "$stem.File"; status=$?;'
      ' printf "%s\\n" REGEDIT4 "[-HKEY_CLASSES_ROOT\\\\$stem.File]" >file-type.reg; wine regedit /S file-type.reg; exit $status'],
     None),
    ("0x80071392",
     ['read -r one two stem <classes.txt && WINEPATH="$runtime" wine ./register.exe add "$one" "$stem" "$stem.1"'
      ' && WINEPATH="$runtime" wine ./register.exe add "$two" "$stem.Two" "$stem.1"; status=$?;'
      ' WINEPATH="$runtime" wine ./register.exe remove "$one" "$stem" "$stem.1"; exit $status'], None),
    ("unknown option",
     ['wine "$runtime/tvcvrtrt-check.exe" --bogus', 'wine "$runtime/tvcvrtrt-check.exe" --component',
      'wine "$runtime/tvcvrtrt-check.exe" --load --no-components',
      'wine "$runtime/tvcvrtrt-check.exe" --trace-summary mixed.trace --run 0'], None),
]


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def symptoms(readme):
    """The symptom cell of every row of the Troubleshooting table."""
    text = readme.read_text().split("\n## Troubleshooting\n", 1)[1].split("\n## ", 1)[0]
    rows = [line for line in text.splitlines() if line.startswith("| ")][1:]  # below the heading row
    return [re.split(r"(?<!\\)\|", row)[1].strip() for row in rows]


def pattern(text):
    """A quoted text of a symptom as a pattern: placeholders match anything."""
    parts = re.split(r"<[^>]*>|…|\b(?:FILE|TRACE|OUT\.json|NAME|N|M|L)\b", text)
    return ".*".join(re.escape(part) for part in parts)


def main():
    readme, build, source = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
    scratch = build / "troubleshooting"
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    scratch.mkdir()
    environment = dict(os.environ, WINEDEBUG="-all", build=str(build), source=str(source),
                       runtime=str(build / "demo-runtime" / "bin" / "win64"))
    environment.pop("WINEPATH", None)
    subprocess.run(["bash", "-c", SETUP], cwd=scratch, env=environment, check=True)

    rows = symptoms(readme)
    for row in rows:
        matching = [case for case in CASES if case[0] in row]
        if len(matching) != 1:
            fail(f"{len(matching)} cases for the row: {row}")
    for key, commands, quirk in CASES:
        row = next((row for row in rows if key in row), None)
        if row is None:
            fail(f"no row for the case {key!r}")
        if '"' not in row and "exits with" not in row:
            fail(f"the row quotes nothing that the user sees: {row}")
        seen, first = "", None
        for command in commands:
            run = subprocess.run(["bash", "-c", command], cwd=scratch, env=environment, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
            output = run.stdout.decode("utf-8", "replace").replace("\r", "")
            first = first or (run.returncode, output)
            seen += output
        print(f"== {key}: status {first[0]}\n{seen}", end="", flush=True)
        # A quoted text after "or" is another outcome of the text before it.
        texts = []
        for match in re.finditer(r'"([^"]+)"', row):
            if texts and re.search(r"\bor \(?$|\(or $", row[:match.start()]):
                texts[-1].append(match.group(1))
            else:
                texts.append([match.group(1)])
        wrong = [" or ".join(group) for group in texts
                 if not any(re.search(pattern(text), seen) for text in group)]
        status = re.search(r"exits with (\d+)", row)
        if status and int(status.group(1)) != first[0]:
            wrong.append(status.group(0))
        if "prints nothing" in row and first[1]:
            wrong.append("prints nothing")
        note, instead = quirk if isinstance(quirk, tuple) else (quirk, None)
        if wrong and note and (first[0] == 0 if instead is None else instead in seen):
            print(f"   (accepted: {note})")
        elif wrong:
            fail(f"the row says {wrong}, which the user does not see: {row}")
    print(f"{len(rows)} troubleshooting rows provoked")


main()

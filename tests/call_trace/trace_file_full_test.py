#!/usr/bin/env python3
"""When the trace file takes no more lines: a device whose writes fail for
want of room from the first (Linux's full device), and a file on a disk that
the process may not grow beyond 6 MB (its file size limit), so that the
second 4 MB stretch of eight threads' lines cannot be made. Each time one
line on standard output says so, tracing stops, the calls still reach the
runtime and the program ends as usual; the file keeps each thread's lines
from its first call on, whole and in order, and only zeros after them."""
import collections, os, re, resource, signal, subprocess, sys, tempfile

wine, bin_dir = sys.argv[1], sys.argv[2]
stopped = "Calls are no longer traced: writing to the file named by TVCVRTRT_TRACE failed Error: "


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def host(trace, *commands, file_limit=None):
    def limit_file_size():
        if file_limit:
            # Writes beyond the limit fail (EFBIG) instead of ending the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))

    child = subprocess.run([wine, "forwarding_host.exe", "lib:" + windows(os.path.join(bin_dir, "test_runtime")) + "\\",
                            "trace:" + trace, "init", *commands], cwd=bin_dir, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=120, preexec_fn=limit_file_size)
    return child.returncode, child.stdout.decode("latin-1").splitlines()


status, out = host("Z:\\dev\\full", "journal")
assert status == 0 and len(out) == 10 and out[0].startswith(stopped) and out[1] == "init=1", (status, out)
assert out[-1] == "tvcSetEngState(i:3) lock=1", out

with tempfile.TemporaryDirectory() as scratch:
    trace = os.path.join(scratch, "calls.trace")
    status, out = host(windows(trace), "traced-threads", file_limit=6 << 20)
    assert status == 0 and len(out) == 2 and out[0] == "init=1" and out[1].startswith(stopped), (status, out)
    with open(trace, "rb") as written:
        text = written.read()

lines_end = text.index(b"\0")
assert text[lines_end:].count(0) == len(text) - lines_end, "only zeros after the lines"
lines = text[:lines_end].decode("latin-1").split("\n")
assert lines[0].startswith("# pid=") and lines[-1] == "", (lines[0], lines[-1])
call = re.compile(r"([0-9]+) [0-9]+\.[0-9]{3} tvcWrite_proxy\(0x([1-8]), 0x([0-9a-f]+), 0x[0-9a-f]+, 0x[0-9a-f]+, "
                  r"\.\.\.\) = 0x0 [0-9]+\.[0-9]{3}us")
calls = collections.defaultdict(list)
for line in lines[9:-1]:
    match = call.fullmatch(line)
    assert match, line
    calls[match[2]].append(int(match[3], 16))
# The lines fill the first stretch: the last may end exactly at its end,
# or in the overhang beyond it.
assert 4 << 20 <= lines_end < 6 << 20 and sum(map(len, calls.values())) < 80000, (lines_end, len(lines))
for thread, numbers in calls.items():
    assert numbers == list(range(len(numbers))), f"thread {thread}: calls missing or out of order"
print(f"{len(lines) - 10} whole lines of 80000 calls in {lines_end} bytes before the file could not grow")

#!/usr/bin/env python3
"""When the trace file takes no more lines: a device whose writes fail for
want of room from the first (Linux's full device); a file on a disk that
the process may not grow beyond 6 MB (its file size limit), so that the
second 4 MB stretch of eight threads' lines cannot be made; a file on a
small file system of its own that fills while lines go through ordinary
writes; a FIFO whose reader keeps it open and reads nothing, or stops
reading; a file that another program cuts while it is traced. Each time one
line on standard output says so, tracing stops, the calls still reach the
runtime and the program ends as usual; the file keeps each thread's lines
from its first call on, whole and in order, and only zeros after them."""
import collections, contextlib, fcntl, os, re, resource, signal, subprocess, sys, tempfile, threading

wine, bin_dir = sys.argv[1], sys.argv[2]
stopped = "Calls are no longer traced: writing to the file named by TVCVRTRT_TRACE failed Error: "


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def host(trace, *commands, file_limit=None, stdin=subprocess.DEVNULL):
    def limit_file_size():
        if file_limit:
            # Writes beyond the limit fail (EFBIG) instead of ending the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))

    child = subprocess.run([wine, "forwarding_host.exe", "lib:" + windows(os.path.join(bin_dir, "test_runtime")) + "\\",
                            "trace:" + trace, "init", *commands], cwd=bin_dir, stdin=stdin,
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

def check_calls(text, lines_end):
    """The runs' headers, each at a line's start, and their call lines, each
    whole, and each thread's calls from its first in order; the count."""
    lines = text[:lines_end].decode("latin-1").split("\n")
    assert lines[-1] == "", lines[-1]
    call = re.compile(r"([0-9]+) [0-9]+\.[0-9]{3} tvcWrite_proxy\(0x([0-9a-f]+), 0x([0-9a-f]+), 0x[0-9a-f]+, "
                      r"0x[0-9a-f]+, \.\.\.\) = 0x0 [0-9]+\.[0-9]{3}us")
    other = re.compile(r"# pid=[0-9]+ .*|[0-9]+ [0-9]+\.[0-9]{3} [a-zA-Z_0-9]+\(.*\) = .* [0-9]+\.[0-9]{3}us")
    calls = collections.defaultdict(list)
    runs = 0
    for line in lines[:-1]:
        match = call.fullmatch(line)
        if match:
            calls[runs, match[2]].append(int(match[3], 16))
        else:
            assert other.fullmatch(line), line
            runs += line.startswith("# pid=")
    for thread, numbers in calls.items():
        assert numbers == list(range(len(numbers))), f"thread {thread}: calls missing or out of order"
    return sum(map(len, calls.values()))


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

# The system's text of ERROR_DISK_FULL: Windows', or Wine's.
full = [stopped + text for text in ("There is not enough space on the disk.", "Disk full.")]
with tempfile.TemporaryDirectory() as scratch, contextlib.ExitStack() as mounted:
    # A disk of 1 MB: the first stretch cannot be zeroed, so the lines go
    # through ordinary writes until one fits only in part. It is taken
    # back: the next run's header starts a line, its lines are its own.
    small = os.path.join(scratch, "small")
    os.mkdir(small)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", small]).returncode != 0:
        print("skipped the full disk: a small file system cannot be mounted here")
        sys.exit(77)
    mounted.callback(subprocess.run, ["umount", small])
    filler = os.path.join(small, "filler")
    with open(filler, "wb") as taking_room:
        taking_room.write(b"x" * (128 << 10))
    trace = os.path.join(small, "calls.trace")
    status, out = host(windows(trace), "calls:20000")
    assert status == 0 and len(out) == 2 and out[0] == "init=1" and out[1] in full, (status, out)
    os.remove(filler)
    status, out = host(windows(trace), "calls:100")
    assert status == 0 and out == ["init=1"], (status, out)
    with open(trace, "rb") as written:
        text = written.read()
    assert 0 not in text and text.count(b"# pid=") == 2, "two runs, each line whole"
    calls = check_calls(text, len(text))
    assert 100 < calls < 20100, calls
    print(f"{calls} whole lines on a full disk, the next run's header on a line of its own")


def fifo_host(fifo, reader):
    """The host tracing into a FIFO that reader (a function of the FIFO's
    read end) serves; the host's status and output."""
    end = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    try:
        threading.Thread(target=reader, args=(end,), daemon=True).start()
        return host(windows(fifo), "traced-threads")
    finally:
        os.close(end)


def keep_full(end):
    """Fills the FIFO's buffer and reads nothing."""
    fcntl.fcntl(end, 1031, 4096)  # F_SETPIPE_SZ: the smallest buffer
    with contextlib.suppress(BlockingIOError):
        while True:
            os.write(end, b"\0" * 4096)


def stop_after(end, wanted=100000):
    """Reads wanted bytes, then reads no more, and keeps the FIFO open."""
    fcntl.fcntl(end, fcntl.F_SETFL, 0)
    while wanted > 0:
        wanted -= len(os.read(end, min(wanted, 65536)))


with tempfile.TemporaryDirectory() as scratch:
    fifo = os.path.join(scratch, "calls.fifo")
    os.mkfifo(fifo)
    untaken = f"Calls are no longer traced: the reader of {windows(fifo)} named by TVCVRTRT_TRACE took no line for a second"
    for reader in keep_full, stop_after:
        status, out = fifo_host(fifo, reader)
        # A full buffer refuses the header already, before the initialization ends.
        assert status == 0 and sorted(out) == [untaken, "init=1"], (reader.__name__, status, out)
    print("a FIFO that no one reads, or whose reader stops: the program ends")

    # Cut to nothing by another program while traced: the next line's
    # store faults inside the view; the trace stops, the program goes on.
    trace = os.path.join(scratch, "cut.trace")
    child = subprocess.Popen([wine, "forwarding_host.exe", "lib:" + windows(os.path.join(bin_dir, "test_runtime")) + "\\",
                              "trace:" + windows(trace), "init", "calls:100", "await-input", "calls:100"],
                             cwd=bin_dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    assert child.stdout.readline() == b"init=1\n"
    assert child.stdout.readline() == b"awaiting input\n"
    os.truncate(trace, 0)
    out, _ = child.communicate(b"go\n", timeout=120)
    cut = f"Calls are no longer traced: {windows(trace)} named by TVCVRTRT_TRACE was cut short by another program while traced"
    assert child.returncode == 0 and out.decode("latin-1").splitlines() == [cut], (child.returncode, out)
    print("a file cut while traced: the program goes on")

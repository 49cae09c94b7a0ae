#!/usr/bin/env python3
"""tvcvrtrt-check --trace-follow on a trace file while it is written: started
before the file exists, it prints the lines of a file laid out as a live
mapped trace (lines, then the zero bytes reserved for the next ones), each
line written later into the reserved space, a line written after zeros that
are never filled and a line cut short (space a process took and never
filled, or filled in part: passed over once it has lasted), and then the lines of a real run of the traced host that
appends to the same file, in the file's order; the file deleted and made
again is followed from its start."""
import os, queue, subprocess, sys, tempfile, threading

wine, bin_dir = sys.argv[1], sys.argv[2]
stretch = 4 << 20  # what the writer maps at a time


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def collect(stream, into):
    for line in iter(stream.readline, b""):
        into.put(line.decode("latin-1").rstrip("\r\n"))


def expect(printed, lines, timeout=60):
    """The next lines the follower prints, which must be lines; bounded."""
    got = []
    try:
        while len(got) < len(lines):
            got.append(printed.get(timeout=timeout))
    except queue.Empty:
        pass
    assert got == lines, f"printed {got}, expected {lines}"


def call(number):
    return f"388 {number}.000 kaGetM_proxy(0x{number:x}) = 2 0.100us\n"


with tempfile.TemporaryDirectory() as scratch:
    trace = os.path.join(scratch, "live.trace")
    follower = subprocess.Popen([wine, "tvcvrtrt-check.exe", "--trace-follow", windows(trace)], cwd=bin_dir,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    printed, messages = queue.Queue(), queue.Queue()
    for stream, into in ((follower.stdout, printed), (follower.stderr, messages)):
        threading.Thread(target=collect, args=(stream, into), daemon=True).start()
    try:
        message = messages.get(timeout=60)
        assert message.startswith("waiting for ") and message.endswith("live.trace to be made"), message

        # A live mapped trace: its lines, then zeros to the end of the stretch.
        first = "# pid=384 start=2026-12-07T13:48:35.000000Z clock=qpc:10000000 exe=C:\\app\\a.exe\n" + call(1) + call(2)
        with open(trace, "wb") as out:
            out.write(first.encode() + bytes(stretch - len(first)))
        expect(printed, first.splitlines())

        end = len(first)
        with open(trace, "r+b") as out:
            # A line written into the reserved space, as the next call does.
            os.pwrite(out.fileno(), call(3).encode(), end)
            expect(printed, [call(3).rstrip("\n")])
            end += len(call(3))
            # Zeros that are never filled, and a line cut by a crash (its end
            # is copied first, then its text from the start), before a
            # written line: the line comes once the gaps have lasted; the
            # zeros and the cut line are passed over.
            gap = len(call(4)) + len(call(5))
            os.pwrite(out.fileno(), call(6).encode(), end + gap)
            os.pwrite(out.fileno(), b"\n", end + gap - 1)
            os.pwrite(out.fileno(), call(5)[:7].encode(), end + len(call(4)))
            expect(printed, [call(6).rstrip("\n")])
            end += gap + len(call(6))
            # The writer cuts the file to its lines when its process ends.
            out.truncate(end)

        # A real run appends to the file, mapped, from several threads.
        subprocess.run([wine, "forwarding_host.exe", "lib:" + windows(os.path.join(bin_dir, "test_runtime")),
                        "trace:" + windows(trace), "init", "traced-threads"], cwd=bin_dir, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        with open(trace, "rb") as written:
            appended = written.read()[end:].replace(b"\0", b"").decode("latin-1").splitlines()
        assert len(appended) > 1000, len(appended)
        expect(printed, appended)

        # Deleted and made again, as a user starts afresh: followed from its start.
        os.remove(trace)
        with open(trace, "wb") as out:
            out.write(first.encode())
        expect(printed, ["# the trace file was made again; following it from its start"] + first.splitlines())
    finally:
        follower.kill()
        follower.wait(timeout=60)
    assert printed.empty(), f"printed more: {printed.get()}"

print(f"the follower printed {2 * len(first.splitlines()) + 2 + len(appended)} lines as they were written")

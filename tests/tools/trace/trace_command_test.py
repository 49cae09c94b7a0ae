#!/usr/bin/env python3
"""tvcvrtrt-check --trace-summary and --trace-timeline as a user runs them, on
files that no test runtime writes: several runs of one reused process id in a
timeline, a trace far larger than the memory the readers may take streamed
through a pipe, a run number beyond every integer, and output that cannot be
written."""
import json, os, resource, subprocess, sys, tempfile, threading

wine, bin_dir = sys.argv[1], sys.argv[2]
# The readers' memory does not grow with the file: a trace many times larger
# than this goes through in less (the readers that held the file took eight
# times its size).
memory_limit = 64 << 20


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check(*arguments, stdout=subprocess.PIPE):
    """The command's exit status, standard output and error, and its peak
    resident memory; killed after two minutes."""
    child = subprocess.Popen([wine, "tvcvrtrt-check.exe", *arguments], cwd=bin_dir, stdin=subprocess.DEVNULL,
                             stdout=stdout, stderr=subprocess.PIPE)
    try:
        out, err = child.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        child.kill()
        raise
    # The child is reaped already; its own usage is the largest of the reaped.
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
    return child.returncode, (out or b"").decode("latin-1").replace("\r\n", "\n"), err.decode("latin-1").replace("\r\n", "\n"), peak


def header(pid, start, exe="C:\\app\\sample_app.exe"):
    return f"# pid={pid} start={start} exe={exe}\n"


with tempfile.TemporaryDirectory() as scratch:
    trace, timeline = os.path.join(scratch, "calls.trace"), os.path.join(scratch, "calls.json")

    # Two runs of one pid two seconds apart, and a third whose clock was set
    # back: each its own process, at its own start, none inside another.
    with open(trace, "w", newline="") as out:
        out.write(header(384, "2026-12-07T13:48:35.000000Z") +
                  "388 0.000 tvcvrtInitializeInternal_proxy(0x1, 0x2, 0x3, 0x4, ...) = 0x1 1000000.000us\n"
                  "388 1000100.000 kaGetPr_proxy(0x10) = 0x20 1.000us\n" +
                  header(384, "2026-12-07T13:48:37.000000Z") +
                  "390 0.500 kaGetPr_proxy(0x10) = 0x20 1.000us\n" +
                  header(384, "2026-12-07T13:48:30.000000Z") +
                  "390 0.500 kaGetM_proxy(0x10) = 2 1.000us\n")
    status, out, err, _ = check("--trace-timeline", windows(trace), windows(timeline))
    assert (status, out, err) == (0, "", ""), (status, out, err)
    with open(timeline, encoding="ascii") as text:
        events = json.load(text)["traceEvents"]
    names = {event["pid"]: event["args"]["name"] for event in events if event["name"] == "process_name"}
    assert names == {1: "sample_app.exe (pid 384, 2026-12-07T13:48:35.000000Z)",
                     2: "sample_app.exe (pid 384, 2026-12-07T13:48:37.000000Z)",
                     3: "sample_app.exe (pid 384, 2026-12-07T13:48:30.000000Z)"}, names
    calls = [(event["pid"], event["ts"], event["dur"]) for event in events if event["ph"] == "X"]
    assert calls == [(1, 0, 1000000), (1, 1000100, 1), (2, 2000000.5, 1), (3, 2000002, 1)], calls

    # Hostile bytes and times at the ends of the range still make valid JSON
    # (a zero byte would make a line one that a crash cut short).
    hostile = os.path.join(scratch, "hostile.trace")
    with open(hostile, "wb") as out:
        out.write(b'# pid=1 start=0001-01-01T00:00:00.000000Z exe=\x01\x1b[2J\xff"\\\r\r\n'
                  b'1 999999999999999.999 ka_proxy("\x01\xff\x07") = \x1b 999999999999999.999us\n'
                  b'# pid=2 start=9999-12-31T23:59:59.999999Z exe=\x81\x9b\n'
                  b'2 0.000 ka_proxy(") = ") = 1 1.000us\n')
    status, out, err, _ = check("--trace-timeline", windows(hostile), windows(timeline))
    with open(timeline, encoding="ascii") as text:
        starts = [event["ts"] for event in json.load(text)["traceEvents"] if event["ph"] == "X"]
    assert (status, out, err, starts) == (0, "", "", [1e15, 9223372036854776]), (status, out, err, starts)

    # The run number as written, however large.
    status, out, err, _ = check("--trace-summary", windows(trace), "--run", "99999999999")
    assert (status, err) == (1, ""), (status, err)
    assert out == f"error: the trace file {windows(trace)} holds 3 runs, not run 99999999999\n", out

    # Output to a full device: a failure, said on standard error.
    with open("/dev/full", "wb") as full:
        status, out, err, _ = check("--trace-summary", windows(trace), stdout=full)
    assert status == 1 and err.startswith(f"error: cannot write the summary of {windows(trace)}: "), (status, err)
    status, out, err, _ = check("--trace-timeline", windows(trace), "Z:\\dev\\full")
    assert status == 1 and out.startswith("error: cannot write Z:\\dev\\full: "), (status, out)

    # 32 MB of calls of 400 exports on 4 threads through a pipe: summed, and
    # turned into a timeline (thrown away), each within the limit.
    pipe = os.path.join(scratch, "calls.pipe")
    os.mkfifo(pipe)
    block = "".join(f"{1000 + line % 4} {line}.250 ka{line % 400}_proxy(0x{line:x}, 0x0) = 0x{line:x} 0.100us\n"
                    for line in range(10000)).encode()
    blocks = (32 << 20) // len(block)

    def feed():
        with open(pipe, "wb") as out:
            out.write(header(384, "2026-12-07T13:48:35.000000Z").encode())
            for _ in range(blocks):
                out.write(block)

    for arguments, expected in ((["--trace-summary", windows(pipe)], f"{blocks * 10000:9d} {'':12s} total"),
                                (["--trace-timeline", windows(pipe), "NUL"], "")):
        writer = threading.Thread(target=feed)
        writer.start()
        status, out, err, peak = check(*arguments)
        writer.join()
        assert status == 0 and expected in out and err == "", (arguments, status, out[-300:], err)
        assert peak < memory_limit, f"{arguments[0]}: {peak >> 20} MB resident"
        print(f"{arguments[0]}: {blocks * len(block) >> 20} MB through a pipe in {peak >> 20} MB resident")

    # A run that ended abruptly: zero bytes where a line's space was taken and
    # never filled, a line cut short (its end copied, its text in part), and
    # the zero tail of its last stretch before the next run's header. Neither
    # the zeros nor the cut line are lines.
    crashed = os.path.join(scratch, "crashed.trace")
    with open(crashed, "wb") as out:
        clocked = header(384, "2026-12-07T13:48:35.000000Z").replace(" exe=", " clock=tsc:2596143796 exe=")
        out.write(clocked.encode() + b"388 0.500 kaGetM_proxy(0x10) = 2 1.000us\n" + b"\0" * 40 +
                  b"388 2.500 kaGetN_proxy(0x10) = 3 1.000us\n388 3.5\0\0\0\n" + b"\0" * 70000 +
                  header(385, "2026-12-07T13:48:40.000000Z").encode() + b"390 0.500 kaGetM_proxy(0x10) = 2 1.000us\n")
    status, out, err, _ = check("--trace-summary", windows(crashed), "--json")
    summary = json.loads(out)
    assert status == 0 and [run["calls"] for run in summary["runs"]] == [2, 1], (status, out, err)
    assert (summary["runs"][0]["clock"], summary["runs"][0]["clock_hz"]) == ("tsc", 2596143796), out
    assert "clock" not in summary["runs"][1] and "error" not in summary, out

#!/usr/bin/env python3
"""The call trace as a timeline: forwarding_host makes a trace with nested
calls and four threads calling at once, tvcvrtrt-check --trace-timeline turns
it into the Trace Event Format (compact JSON), and the events are checked against the lines:
one complete event per call line with its name, start and duration, starts
increasing on each thread, and each thread's calls nested or one after the
other, never overlapping in part; each process row named after its
executable and each thread row "thread <id>" before its first call."""
import collections, json, os, subprocess, sys, tempfile

wine, bin_dir = sys.argv[1], sys.argv[2]


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*command):
    subprocess.run([wine, *command], cwd=bin_dir, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


with tempfile.TemporaryDirectory() as scratch:
    trace, timeline = os.path.join(scratch, "calls.trace"), os.path.join(scratch, "calls.json")
    run("forwarding_host.exe", "lib:" + windows(os.path.join(bin_dir, "test_runtime")), "trace:" + windows(trace),
        "init", "traced-nested", "traced-threads")
    run("tvcvrtrt-check.exe", "--trace-timeline", windows(trace), windows(timeline))
    with open(trace, encoding="latin-1") as lines:
        calls = [line.split() for line in lines if not line.startswith("#")]
    with open(timeline, encoding="ascii") as text:
        written = text.read()
    every_event = json.loads(written)["traceEvents"]
    events = [event for event in every_event if event["ph"] == "X"]

# Compact: as many bytes as the events need, none for a person's eyes.
assert len(written) == len(json.dumps({"traceEvents": every_event, "displayTimeUnit": "ns"},
                                      separators=(",", ":"))) + 1, "the timeline is not compact"

assert len(events) == len(calls) > 1000, (len(events), len(calls))
for event, call in zip(events, calls):
    assert event["tid"] == int(call[0]) and event["name"] == call[2].split("(")[0], (event, call)
    assert round(event["ts"] * 1000) == round(float(call[1]) * 1000), (event, call)
    assert round(event["dur"] * 1000) == round(float(call[-1][:-2]) * 1000), (event, call)

threads = collections.defaultdict(list)
for event in events:
    threads[event["tid"]].append(event)
assert len(threads) == 9, threads.keys()  # the main thread and eight callers
for tid, own in threads.items():
    own.sort(key=lambda event: event["ts"])
    starts = [event["ts"] for event in own]
    assert starts == sorted(set(starts)), f"thread {tid}: starts not increasing"
    open_calls = []  # the calls that enclose the current one
    for event in own:
        while open_calls and open_calls[-1]["ts"] + open_calls[-1]["dur"] <= event["ts"]:
            open_calls.pop()
        if open_calls:
            caller = open_calls[-1]
            assert event["ts"] + event["dur"] <= caller["ts"] + caller["dur"], f"{event} overlaps {caller} in part"
        event["caller"] = caller["name"] if open_calls else None
        open_calls.append(event)

callers = {event["name"]: event["caller"] for event in events if event["name"] in ("vltClose_proxy", "tvcGetEps_proxy")}
assert callers == {"vltClose_proxy": "tvcGetEps_proxy", "tvcGetEps_proxy": "tvcRunMain_proxy"}, callers
# The rows' names: metadata that comes before the row's first call, once.
named, first_call = {}, {}
for index, event in enumerate(every_event):
    if event["ph"] == "M":
        row = (event["pid"], event.get("tid"))
        assert row not in named, f"{row} named twice"
        named[row] = (index, event["name"], event["args"]["name"])
    else:
        first_call.setdefault((event["pid"], event["tid"]), index)
for (pid, tid), index in first_call.items():
    assert named.get((pid, tid), (index,))[0] < index, f"thread {tid} not named before its first call"
    assert named[(pid, tid)][1:] == ("thread_name", f"thread {tid}"), named[(pid, tid)]
    assert named[(pid, None)][1] == "process_name", named[(pid, None)]
    assert named[(pid, None)][2].startswith("forwarding_host.exe (pid "), named[(pid, None)]
assert len(named) == len(first_call) + len({pid for pid, _ in first_call}), "rows named without calls"
print(f"{len(events)} events on {len(threads)} threads match the trace")

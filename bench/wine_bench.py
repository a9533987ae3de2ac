#!/usr/bin/env python3
"""The real service against two bare CreateProcessA loops, under Wine.

    wine_bench.py --starter starter.exe --probe probe.exe --check starter-check.exe
                  --baseline baseline.exe --service-baseline service_baseline.exe
                  [--runs N] [--lines N]

One prefix. The service is installed with sc.exe and given a list of probe
starts. Two baselines make the same starts, with the command lines and
directories that starter-check composes: a minimal service, installed and
started exactly as the service is, and a plain program started by start.exe.
The three are run in turn, in an order that rotates from round to round. Each
run is timed from Wine's trace (+timestamp, in milliseconds): from the start
request (services.exe receiving StartService, or start.exe's CreateProcess of
the program) to the return of the last child's CreateProcess. Between runs,
every probe of the run must have logged, so that no run inherits the last
one's load.

Each round gives a ratio, the service's time over a baseline's. The figure is
the median of those ratios, with a distribution-free 95% confidence interval
from the sign test: the median ratio lies between the k-th smallest and k-th
largest of n ratios, where k is the largest number with P(B <= k - 1) <= 2.5%
for B ~ Binomial(n, 1/2). It assumes only that rounds are independent, not
that times are normally distributed, and one slow outlier cannot move it. The
last line is "ratio vs service baseline: R (95% CI L-H)".
"""

import argparse
import json
import math
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "support"))
from wine_service import SERVICE_NAME, TRACE_CHANNELS, WineSession, parse_probe_log  # noqa: E402

FOLDER = "C:\\bench"
STARTER = FOLDER + "\\starter.exe"
BASELINE = FOLDER + "\\baseline.exe"
SERVICE_BASELINE = FOLDER + "\\service_baseline.exe"
SERVICE_BASELINE_NAME = "Corvane Baseline"
PROBE = FOLDER + "\\probe.exe"
LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]{4}):[0-9a-f]{4}:(.*)$")


def events(text):
    """(milliseconds, pid, message) for every timestamped trace line."""
    for line in text.splitlines():
        if m := LINE.match(line):
            yield float(m.group(1)) * 1000, m.group(2), m.group(3)


def is_creation(message, image):
    """A CreateProcess of image itself, not of a program that names it."""
    if "CreateProcessInternalW app" not in message:
        return False
    command = message.lower().split("cmdline", 1)[1]
    return image in command and "start.exe" not in command


def run_time(trace, image, request):
    """From the request that starts image to its last started child, in ms;
    and its two parts: up to the first child's CreateProcess call (starting
    the program itself), and the mean time inside one CreateProcess."""
    t0 = pid = creator = last = first = called = None
    inside = []
    for ms, who, message in events(trace):
        if t0 is None:
            if not request(message):
                continue
            t0 = ms
        if pid is None:
            if creator is None and is_creation(message, image):
                creator = who
            elif who == creator and (m := re.search(r"started process pid (\w+)", message)):
                pid = m.group(1)
        elif who == pid and "CreateProcessInternalW app" in message:
            called = ms
            first = ms if first is None else first
        elif who == pid and "CreateProcessInternalW started process" in message:
            last = ms
            inside.append(ms - called)
    if t0 is None or last is None:
        raise RuntimeError(f"no complete run of {image} in the trace")
    return last - t0, first - t0, statistics.mean(inside)


def sign_test_interval(ratios):
    """The median and its 95% sign-test interval."""
    ordered = sorted(ratios)
    n = len(ordered)
    k, cumulative = 0, 0.0
    while True:
        cumulative += math.comb(n, k) / 2 ** n
        if cumulative > 0.025:
            break
        k += 1
    if k == 0:
        raise RuntimeError(f"{n} rounds are too few for a 95% interval; take at least 6")
    return statistics.median(ordered), ordered[k - 1], ordered[n - k]


class PeakResident:
    """The largest VmHWM of a live Wine process whose command line names image."""

    def __init__(self, image):
        self.image = image.encode()
        self.peak_kib = 0

    def sample(self):
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if self.image not in f.read():
                        continue
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            self.peak_kib = max(self.peak_kib, int(line.split()[1]))
            except OSError:
                pass


KINDS = ("service", "service baseline", "process baseline")
IMAGES = {"service": "starter.exe", "service baseline": "service_baseline.exe",
          "process baseline": "\\baseline.exe"}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("starter", "probe", "check", "baseline", "service-baseline"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--runs", type=int, default=15, help="rounds of the three")
    parser.add_argument("--lines", type=int, default=200)
    args = parser.parse_args()

    with WineSession(channels="+timestamp," + TRACE_CHANNELS) as wine:
        wine.put(STARTER, source=args.starter)
        wine.put(BASELINE, source=args.baseline)
        wine.put(SERVICE_BASELINE, source=args.service_baseline)
        wine.put(PROBE, source=args.probe)
        wine.put(FOLDER + "\\starter-check.exe", source=args.check)
        # No final LF: the service then makes exactly one start per line.
        wine.put(FOLDER + "\\starter.dat",
                 data="\n".join(f"probe.exe run-line-{i}" for i in range(args.lines)).encode())
        wine.install_service(STARTER)
        created = wine.wine("sc", "create", SERVICE_BASELINE_NAME, "binpath=", SERVICE_BASELINE,
                            "type=", "own", "type=", "interact")
        assert created.returncode == 0, "sc create of the service baseline failed"

        shown = wine.wine(FOLDER + "\\starter-check.exe", "--json", FOLDER + "\\starter.dat")
        lines = json.loads(shown.stdout)["lines"]
        commands = "".join(f"{line['directory'] or ''}\t{line['command']}\r\n" for line in lines)
        wine.put(FOLDER + "\\commands.txt", data=commands.encode("latin-1"))

        wine.keep_services_up(args.probe)
        log = wine.host_path(PROBE + ".log")
        peak = {kind: PeakResident(IMAGES[kind]) for kind in KINDS}
        times = {kind: {} for kind in KINDS}  # round -> ms
        parts = {kind: [] for kind in KINDS}
        lost = set()
        for run in range(3 * args.runs):
            # Each round runs the three in a rotated order, so none always follows another.
            round_number, place = divmod(run, 3)
            kind = KINDS[(place + round_number) % 3]
            offset = os.path.getsize(wine.trace_path)
            started = len(parse_probe_log(log, wine.encoding)) + args.lines
            if kind == "service":
                process = wine.wine("sc", "start", SERVICE_NAME, background=True)
            elif kind == "service baseline":
                process = wine.wine("sc", "start", SERVICE_BASELINE_NAME, background=True)
            else:
                process = wine.wine("start", "/wait", BASELINE, FOLDER + "\\commands.txt",
                                    background=True)
            deadline = time.time() + 120
            while len(parse_probe_log(log, wine.encoding)) < started and time.time() < deadline:
                peak[kind].sample()
                time.sleep(0.05)
            if len(parse_probe_log(log, wine.encoding)) < started:
                # Now and then Wine leaves a new process waiting for ever; the
                # round is dropped and every Wine process of the prefix ended.
                print(f"run {run + 1:2}: {kind:16} lost: a start never completed; round "
                      f"{round_number + 1} is dropped", flush=True)
                lost.add(round_number)
                wine.restart(args.probe)
                continue
            process.wait(timeout=120)
            with open(wine.trace_path, "rb") as f:
                f.seek(offset)
                trace = f.read().decode("utf-8", "replace")
            if kind == "process baseline":
                ms, to_first, inside = run_time(trace, IMAGES[kind],
                                                lambda m: is_creation(m, "baseline.exe"))
            else:
                ms, to_first, inside = run_time(trace, IMAGES[kind],
                                                lambda m: "svcctl_StartServiceW" in m)
            times[kind][round_number] = ms
            parts[kind].append((to_first, inside))
            print(f"run {run + 1:2}: {kind:16} {ms:8.1f} ms  (to the first start {to_first:6.1f} ms, "
                  f"{inside:5.2f} ms inside each CreateProcess)", flush=True)

    rounds = [r for r in range(args.runs) if r not in lost]
    times = {kind: [times[kind][r] for r in rounds] for kind in KINDS}
    print(f"\n{args.lines} starts, {len(rounds)} complete rounds of {args.runs}, from the start "
          f"request to the last child started:")
    for kind in KINDS:
        print(f"  {kind:16} median {statistics.median(times[kind]):8.1f} ms   "
              f"({', '.join(f'{t:.0f}' for t in times[kind])})")
        print(f"  {'':16} to the first start, median "
              f"{statistics.median(p[0] for p in parts[kind]):6.1f} ms; inside each "
              f"CreateProcess, median {statistics.median(p[1] for p in parts[kind]):5.2f} ms")
    print("  peak resident set (VmHWM of the Wine process): " +
          ", ".join(f"{kind} {peak[kind].peak_kib} KiB" for kind in KINDS))
    print(f"  executable size: starter.exe {os.path.getsize(args.starter)} bytes, "
          f"service_baseline.exe {os.path.getsize(args.service_baseline)} bytes")
    figures = {}
    for kind in ("process baseline", "service baseline"):
        ratios = [s / b for s, b in zip(times["service"], times[kind])]
        figures[kind] = sign_test_interval(ratios)
    median, low, high = figures["process baseline"]
    print(f"ratio vs process baseline: {median:.2f} (95% CI {low:.2f}-{high:.2f})")
    median, low, high = figures["service baseline"]
    print(f"ratio vs service baseline: {median:.2f} (95% CI {low:.2f}-{high:.2f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())

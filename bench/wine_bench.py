#!/usr/bin/env python3
"""The real service against a bare CreateProcessA loop, under Wine.

    wine_bench.py --starter starter.exe --probe probe.exe --check starter-check.exe
                  --baseline baseline.exe [--runs N] [--lines N]

One prefix. The service is installed with sc.exe and given a list of probe
starts; the baseline gets the same command lines and directories, taken from
starter-check. The two are run alternately. Each run is timed from Wine's
trace (+timestamp, in milliseconds): from the start request (services.exe
receiving StartService, or start.exe's CreateProcess of the baseline) to the
return of the last child's CreateProcess. Between runs, every probe of the run
must have logged, so that no run inherits the last one's load.
"""

import argparse
import json
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from wine_service import SERVICE_NAME, TRACE_CHANNELS, WineSession, parse_probe_log  # noqa: E402

FOLDER = "C:\\bench"
STARTER = FOLDER + "\\starter.exe"
BASELINE = FOLDER + "\\baseline.exe"
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
    """From the request that starts image to its last started child, in ms."""
    t0 = pid = creator = last = None
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
        elif who == pid and "CreateProcessInternalW started process" in message:
            last = ms
    if t0 is None or last is None:
        raise RuntimeError(f"no complete run of {image} in the trace")
    return last - t0


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


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("starter", "probe", "check", "baseline"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--lines", type=int, default=200)
    args = parser.parse_args()

    with WineSession(channels="+timestamp," + TRACE_CHANNELS) as wine:
        wine.put(STARTER, source=args.starter)
        wine.put(BASELINE, source=args.baseline)
        wine.put(PROBE, source=args.probe)
        wine.put(FOLDER + "\\starter-check.exe", source=args.check)
        # No final LF: the service then makes exactly one start per line.
        wine.put(FOLDER + "\\starter.dat",
                 data="\n".join(f"probe.exe run-line-{i}" for i in range(args.lines)).encode())
        wine.install_service(STARTER)

        shown = wine.wine(FOLDER + "\\starter-check.exe", "--json", FOLDER + "\\starter.dat")
        lines = json.loads(shown.stdout)["lines"]
        commands = "".join(f"{line['directory'] or ''}\t{line['command']}\r\n" for line in lines)
        wine.put(FOLDER + "\\commands.txt", data=commands.encode("latin-1"))

        log = wine.host_path(PROBE + ".log")
        peak = {"service": PeakResident("starter.exe"), "baseline": PeakResident("baseline.exe")}
        times = {"service": [], "baseline": []}
        started = 0
        for run in range(2 * args.runs):
            # Alternate which goes first in each pair, so neither always follows the other.
            kind = ("service", "baseline")[(run + run // 2) % 2]
            offset = os.path.getsize(wine.trace_path)
            if kind == "service":
                process = wine.wine("sc", "start", SERVICE_NAME, background=True)
            else:
                process = wine.wine("start", "/wait", BASELINE, FOLDER + "\\commands.txt",
                                    background=True)
            started += args.lines
            deadline = time.time() + 300
            while len(parse_probe_log(log, wine.encoding)) < started:
                peak[kind].sample()
                if time.time() > deadline:
                    raise RuntimeError(f"run {run}: the probes did not all log")
                time.sleep(0.05)
            process.wait(timeout=120)
            with open(wine.trace_path, "rb") as f:
                f.seek(offset)
                trace = f.read().decode("utf-8", "replace")
            if kind == "service":
                ms = run_time(trace, "starter.exe", lambda m: "svcctl_StartServiceW" in m)
            else:
                ms = run_time(trace, "baseline.exe", lambda m: is_creation(m, "baseline.exe"))
            times[kind].append(ms)
            print(f"run {run + 1:2}: {kind:8} {ms:8.1f} ms", flush=True)

    service = statistics.median(times["service"])
    baseline = statistics.median(times["baseline"])
    print(f"\n{args.lines} starts, {args.runs} runs each, from the start request to the last "
          f"child started:")
    print(f"  service   median {service:8.1f} ms   ({', '.join(f'{t:.0f}' for t in times['service'])})")
    print(f"  baseline  median {baseline:8.1f} ms   ({', '.join(f'{t:.0f}' for t in times['baseline'])})")
    print(f"  ratio     service / baseline = {service / baseline:.3f}")
    print(f"  peak resident set (VmHWM of the Wine process): service "
          f"{peak['service'].peak_kib} KiB, baseline {peak['baseline'].peak_kib} KiB")
    print(f"  executable size: starter.exe {os.path.getsize(args.starter)} bytes, "
          f"baseline.exe {os.path.getsize(args.baseline)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())

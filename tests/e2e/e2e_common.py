"""What the end-to-end scenarios share: the registry of scenarios, the
checks of what the service started and of what its programs saw, and the
service installed by hand in a fresh prefix. A scenario of many steps runs
them by name, so that a failure names its step."""

import json
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine_service import INSTALLER, ServiceTrace, WineSession  # noqa: E402,F401

SERVICE_DIR = "C:\\svc"
STARTER = SERVICE_DIR + "\\starter.exe"
LIST = SERVICE_DIR + "\\starter.dat"
PROBE = SERVICE_DIR + "\\probe.exe"
SPACED = "C:\\Program Files\\probe.exe"
STOPPED_REPORT = "0x110 0x1 0x5 0 0 0 0x3e8"
SETTINGS = "HKLM\\SOFTWARE\\Corvane\\Remote Starter"
SCENARIOS = {}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_run(trace, starts):
    """Register, then exactly these starts as (command line, started?) in order,
    then one report: stopped, exit code 0."""
    check(trace.pid is not None, "no service process in the trace")
    kinds = [e[0] for e in trace.events]
    expected_kinds = ["register"] + ["start"] * len(starts) + ["report"]
    check(kinds == expected_kinds, f"order of events: {kinds}")
    check(trace.events[-1][1] == STOPPED_REPORT, f"status report: {trace.events[-1][1]}")
    for i, (got, want) in enumerate(zip(trace.starts, starts)):
        check(got == want, f"start {i + 1}:\n  got  {got!r}\n  want {want!r}")


def expect_records(wine, probe, expected):
    """Each (command line, directory) was seen by a started probe, detached and
    at normal priority; and no other probe ran."""
    records = wine.probe_records(probe, len(expected))
    seen = sorted((r["command line"], r["directory"]) for r in records)
    check(seen == sorted(expected), f"{probe} saw:\n  {seen}\nwanted:\n  {sorted(expected)}")
    for r in records:
        check(r["priority"] == "0x20", f"priority class {r['priority']}")
        check(r["console"] == "no", "a started program shares a console")
    return records


def expect_check_matches(wine, args, starter, trace, records, status):
    """starter-check.exe, run beside the service on its list with every option
    left to the machine, shows the command lines the service started, in order,
    and the directories its programs ran in."""
    tool = starter.rsplit("\\", 1)[0] + "\\starter-check.exe"
    wine.put(tool, source=args.check)
    result = wine.wine(tool, "--json", starter[:-len(".exe")] + ".dat")
    check(result.returncode == status, f"starter-check exit code {result.returncode}")
    lines = json.loads(result.stdout)["lines"]
    shown = [line["command"].encode("latin-1").decode(wine.encoding) for line in lines]
    check(shown == [command for command, _ in trace.starts],
          f"starter-check shows:\n  {shown}\nthe service started:\n  {trace.starts}")
    seen = {r["command line"]: r["directory"] for r in records}
    for line, command in zip(lines, shown):
        if command in seen:
            directory = line["directory"]
            # None, "c:" (drive C's current directory) or a relative one: from
            # the service's own, C:\windows under Wine.
            directory = "C:\\windows" if directory in (None, "c:") else \
                directory.encode("latin-1").decode(wine.encoding)
            if ":" not in directory and not directory.startswith("\\"):
                directory = "C:\\windows\\" + directory
            check(seen[command] == directory, f"{command}: shown in {directory}, ran in "
                                              f"{seen[command]}")
    return lines


def install(wine, args, list_bytes, probes=(PROBE,), starter=STARTER):
    wine.keep_services_up(args.probe)
    wine.put(starter, source=args.starter)
    for path in probes:
        wine.put(path, source=args.probe)
    if list_bytes is not None:
        wine.put(starter[:-len(".exe")] + ".dat", data=list_bytes)
    wine.install_service(starter)


def run_steps(context, *steps):
    """Each step, a function of the context, in order; a failure names its step."""
    for step in steps:
        try:
            step(context)
        except AssertionError as failure:
            raise AssertionError(f"step {step.__name__}: {failure}") from failure


def wait_for_run(c, since, timeout=120):
    """The service's run that began after `since` in the trace, once it has reported."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        run = ServiceTrace(c.wine.read_trace().text[since:])
        if run.reported:
            return run
        time.sleep(0.2)
    raise AssertionError("the service made no status report")


def settings(c):
    """The installation's settings key, as reg.exe shows it: its folder and job."""
    out = c.wine.wine("reg", "query", SETTINGS, "/reg:32").stdout.decode(c.wine.encoding, "replace")
    return dict(re.findall(r"^\s+(\w+)\s+REG_SZ\s+(.*?)\s*$", out, re.M))


def listing(c, folder, logs=True):
    """What a folder holds, or None; without logs, less what the started probes wrote."""
    path = c.wine.host_path(folder)
    if not os.path.isdir(path):
        return None
    return sorted(name for name in os.listdir(path) if logs or not name.endswith(".log"))


class Context:
    """What the steps of one scenario share: the arguments, the Wine session,
    and what each step leaves for the next."""

    def __init__(self, args, wine, **values):
        self.args = args
        self.wine = wine
        self.__dict__.update(values)

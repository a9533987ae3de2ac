#!/usr/bin/env python3
"""End-to-end scenarios: the real starter.exe, installed as a service with
sc.exe in a fresh Wine prefix and started through the service control manager.

    e2e_test.py --starter starter.exe --probe probe.exe --check starter-check.exe SCENARIO...

Each scenario checks, from the Wine trace, every CreateProcess the service
made, in order, and its single status report; and, from the probe's records,
the command line, directory, priority class and console that each started
program actually saw.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine_service import INSTALLER, TRACE_CHANNELS, WINE, ServiceTrace, WineSession  # noqa: E402
import generated_lines  # noqa: E402

SERVICE_DIR = "C:\\svc"
STARTER = SERVICE_DIR + "\\starter.exe"
LIST = SERVICE_DIR + "\\starter.dat"
PROBE = SERVICE_DIR + "\\probe.exe"
SPACED = "C:\\Program Files\\probe.exe"
STOPPED_REPORT = "0x110 0x1 0x5 0 0 0 0x3e8"
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


def restricting(path):
    """The icacls calls that give a folder to Administrators and SYSTEM alone, in order."""
    return [f'"{path}" "/setowner" "*S-1-5-32-544" "/T" "/Q"', f'"{path}" "/reset" "/T" "/Q"',
            f'"{path}" "/inheritance:r" "/grant:r" "*S-1-5-32-544:(OI)(CI)F" "*S-1-5-18:(OI)(CI)F"'
            ' "/Q"']


def install(wine, args, list_bytes, probes=(PROBE,), starter=STARTER):
    wine.keep_services_up(args.probe)
    wine.put(starter, source=args.starter)
    for path in probes:
        wine.put(path, source=args.probe)
    if list_bytes is not None:
        wine.put(starter[:-len(".exe")] + ".dat", data=list_bytes)
    wine.install_service(starter)


@scenario
def three_rules(args):
    with WineSession() as wine:
        install(wine, args, b"Probe.exe Hello  World\n"
                            b"C:\\Tools\\Probe.EXE /Daily\n"
                            b"missing.exe\n"
                            b"\"C:\\Tools\\Probe.exe\" quoted\n"
                            b"\"C:\\Program Files\\Probe.exe\" /Spaced\n"
                            b"\"Probe.exe\" Bare\n"
                            b"C:\\NoSuchDir\\Probe.exe /x\n"
                            b"MsiExec.exe /qn /P Hotfix.msp REINSTALL=ALL\n"
                            # How CreateProcessA finds a program, as starter-check.exe
                            # models it: .exe added, quoted or not; an unquoted path
                            # with a space tried prefix by prefix; a TAB ends the name;
                            # a drive-relative path from the current directory of its
                            # drive, which for the service is its own.
                            b"Probe /NoExtension\n"
                            b"\"C:\\Tools\\Probe\" /QuotedNoExtension\n"
                            b"C:\\Program Files\\Probe.exe /Unquoted\n"
                            b"C:\\Tools\\Probe.exe\t/Tab\n"
                            b"C:Tools\\Probe.exe /DriveRelative\n"
                            # Another program than the line names starts here (CWE-428);
                            # a relative path is searched from the service's folder first;
                            # a file that is not a program never starts.
                            b"C:\\Vendor Dir\\Setup /S\n"
                            b"sub\\Probe.exe /Relative\n"
                            b"C:\\Tools\\Fake.exe /NotAProgram\n",
                probes=[PROBE, "C:\\tools\\probe.exe", SPACED, "C:\\Vendor.exe",
                        "C:\\svc\\sub\\probe.exe"])
        wine.put("C:\\tools\\fake.exe", data=b"not a program\r\n")
        wine.put("C:\\windows\\sub\\folder.txt", data=b"")  # the working directory under Wine
        wine.use_native_installer(args.probe)
        # A copy later in the search order, where a 32-bit process's system32 leads.
        wine.put("C:\\windows\\system32\\sub\\probe.exe", source=args.probe)
        trace = wine.start_service()
        expect_run(trace, [
            ('"C:\\svc\\probe.exe" hello  world', True),
            ("c:\\tools\\probe.exe /daily", True),
            ('"C:\\svc\\missing.exe"', False),
            ('"c:\\tools\\probe.exe" quoted', True),
            ('"c:\\program files\\probe.exe" /spaced', True),
            ('"C:\\svc\\probe.exe" bare', True),
            ("c:\\nosuchdir\\probe.exe /x", False),
            (f'"{INSTALLER}" /p C:\\svc\\hotfix.msp reinstall=all', True),
            ('"C:\\svc\\probe" /noextension', True),
            ('"c:\\tools\\probe" /quotednoextension', True),
            ("c:\\program files\\probe.exe /unquoted", True),
            ("c:\\tools\\probe.exe\t/tab", True),
            # Windows would look in system32\tools; Wine's service runs in C:\windows.
            ("c:tools\\probe.exe /driverelative", False),
            ("c:\\vendor dir\\setup /s", True),
            ("sub\\probe.exe /relative", True),
            ("c:\\tools\\fake.exe /notaprogram", False),
            ('"C:\\svc\\"', False),  # the empty line after the final LF
        ])
        records = expect_records(wine, PROBE, [('"C:\\svc\\probe.exe" hello  world', "C:\\svc"),
                                               ('"C:\\svc\\probe.exe" bare', "C:\\svc"),
                                               ('"C:\\svc\\probe" /noextension', "C:\\svc")])
        records += expect_records(wine, "C:\\tools\\probe.exe",
                                  [("c:\\tools\\probe.exe /daily", "c:\\tools"),
                                   ('"c:\\tools\\probe.exe" quoted', "c:\\tools"),
                                   ('"c:\\tools\\probe" /quotednoextension', "c:\\tools"),
                                   ("c:\\tools\\probe.exe\t/tab", "c:\\tools")])
        records += expect_records(wine, SPACED, [('"c:\\program files\\probe.exe" /spaced',
                                                  "c:\\program files"),
                                                 # Found by a prefix, the name is quoted.
                                                 ('"c:\\program files\\probe.exe" /unquoted',
                                                  "C:\\windows")])
        # Its directory, "c:", is drive C's current one: the service's own.
        records += expect_records(wine, "C:\\Vendor.exe", [("c:\\vendor dir\\setup /s",
                                                            "C:\\windows")])
        records += expect_records(wine, "C:\\svc\\sub\\probe.exe",
                                  [("sub\\probe.exe /relative", "C:\\windows\\sub")])
        check(wine.probe_records("C:\\windows\\system32\\sub\\probe.exe", timeout=0) == [],
              "the copy later in the search order ran")
        # No directory chosen: the installer inherits the service's, C:\windows.
        records += expect_records(wine, INSTALLER, [
            (f'"{INSTALLER}" /p C:\\svc\\hotfix.msp reinstall=all', "C:\\windows")])
        # On the machine itself starter-check.exe finds what is missing there.
        lines = expect_check_matches(wine, args, STARTER, trace, records, status=1)
        missing = [(l["line"], f["code"]) for l in lines for f in l["findings"]
                   if f["code"].startswith("missing-") or f["code"] in (
                       "unquoted-spaces", "tab", "starts-other-program", "not-startable")]
        # What is missing is said once a line; a shorter name that starts where
        # the longer is missing is a warning, which names it.
        check(missing == [(3, "missing-program"), (7, "missing-program"), (8, "missing-patch"),
                          (11, "unquoted-spaces"), (13, "missing-program"),
                          (14, "unquoted-spaces"), (16, "not-startable")],
              f"starter-check found missing: {missing}")
        check([l["starts"] for l in lines][:3] == ["C:\\svc\\probe.exe", "c:\\tools\\probe.exe", None]
              and lines[13]["starts"] == "c:\\vendor.exe", f"starts: {[l['starts'] for l in lines]}")
        # A dry run checks the same list as for another machine: nothing is looked for.
        dry = json.loads(wine.wine(SERVICE_DIR + "\\starter-check.exe", "--json", "--dry-run",
                                   LIST).stdout)
        check(not dry["looked_on_this_machine"] and not any(
            l["starts"] or any(f["code"].startswith("missing-") for f in l["findings"])
            for l in dry["lines"]), f"a dry run looked: {dry}")
        relative = [f["message"] for f in lines[14]["findings"] if f["code"] == "relative-path"]
        check(relative and relative[0].endswith("the service starts C:\\svc\\sub\\probe.exe, in the"
                                                " service's folder"), f"relative: {relative}")
        # A list on standard input is read as bytes there too, not in text mode.
        piped = subprocess.run([WINE, SERVICE_DIR + "\\starter-check.exe", "--json", "-"],
                               input=b"a.exe\r\n\x1ab", env=wine.env, capture_output=True)
        codes = [f["code"] for f in json.loads(piped.stdout)["lines"][-1]["findings"]]
        check("ctrl-z" in codes, f"starter-check.exe on standard input: {codes}")
        state = wine.query_service()
        check(state.get("TYPE") == "110" and state.get("STATE") == "1",
              f"sc query after the run: {state}")


@scenario
def reading_rules(args):
    with WineSession() as wine:
        install(wine, args, b"probe.exe one\r\n\r\nprobe.exe two\rx\r\n"
                            b"probe.exe thr\x1aee\r\nprobe.exe never\r\n")
        expect_run(wine.start_service(), [
            ('"C:\\svc\\probe.exe" one', True),
            ('"C:\\svc\\"', False),
            ('"C:\\svc\\probe.exe" two\rx', True),
            ('"C:\\svc\\probe.exe" thr', True),
        ])
        expect_records(wine, PROBE, [('"C:\\svc\\probe.exe" one', SERVICE_DIR),
                                     ('"C:\\svc\\probe.exe" two\rx', SERVICE_DIR),
                                     ('"C:\\svc\\probe.exe" thr', SERVICE_DIR)])


@scenario
def long_lines(args):
    full = b"probe.exe " + b"b" * 549  # 559 characters: an ordinary line
    over = b"probe.exe " + b"c" * 590  # ends the run after its first 559
    with WineSession() as wine:
        install(wine, args, b"probe.exe a\n" + full + b"\n" + over + b"\nprobe.exe never\n")
        cut = lambda line: ('"C:\\svc\\probe.exe" ' + line)[:259]
        expect_run(wine.start_service(), [
            ('"C:\\svc\\probe.exe" a', True),
            (cut("b" * 549), True),
            (cut("c" * 590), True),
        ])
        expect_records(wine, PROBE, [('"C:\\svc\\probe.exe" a', SERVICE_DIR),
                                     (cut("b" * 549), SERVICE_DIR),
                                     (cut("c" * 590), SERVICE_DIR)])


@scenario
def missing_list(args):
    with WineSession() as wine:
        install(wine, args, None)
        expect_run(wine.start_service(), [])
        state = wine.query_service()
        check(state.get("STATE") == "1", f"sc query after the run: {state}")


@scenario
def side_by_side(args):
    sleep = 15  # seconds; the service must be long stopped before any child ends
    with WineSession() as wine:
        install(wine, args, b"".join(b"probe.exe sleep=%d %s\n" % (sleep * 1000, n)
                                     for n in (b"first", b"second", b"third")))
        started = time.time()
        expect_run(wine.start_service(),
                   [(f'"C:\\svc\\probe.exe" sleep={sleep * 1000} {n}', True)
                    for n in ("first", "second", "third")] + [('"C:\\svc\\"', False)])
        check(wine.query_service().get("STATE") == "1", "the service has not stopped")
        records = wine.probe_records(PROBE, 3)
        check(len(records) == 3, f"{len(records)} children started")
        check(time.time() - started < sleep - 1, "too slow to tell whether the service waited")
        check(all(r["events"] == [] for r in records),
              "a child ended before the service stopped, so the service waited for it")
        deadline = time.time() + sleep + 30
        while time.time() < deadline and not all(r["events"] for r in records):
            time.sleep(0.5)
            records = wine.probe_records(PROBE)
        check(all(r["events"] == ["ended"] for r in records), "the children did not all end")


@scenario
def stop_is_ignored(args):
    # Long enough that the stop request lands while the list still runs; where
    # process creation is slow, fewer lines last as long.
    count = int(os.environ.get("STARTER_STOP_LINES", "400"))
    # Wine ends a service that has not reported running within its pipe
    # timeout, 10 s by default; on a loaded machine 400 starts take longer.
    with WineSession(pipe_timeout_ms=600000) as wine:
        install(wine, args, b"".join(b"probe.exe n%d\n" % i for i in range(count)))
        starting = wine.wine("sc", "start", "Corvane Remote Starter", background=True)
        deadline = time.time() + 60
        while not wine.read_trace().starts and time.time() < deadline:
            time.sleep(0.05)
        stop = wine.wine("sc", "stop", "Corvane Remote Starter")
        starting.wait(timeout=400)
        trace = wine.wait_for_report()
        check(stop.returncode != 0, "the service accepted a stop request")
        expect_run(trace, [(f'"C:\\svc\\probe.exe" n{i}', True) for i in range(count)] +
                   [('"C:\\svc\\"', False)])
        stopped_at = trace.text.find("svcctl_ControlService")
        last_start = trace.text.rfind(f'probe.exe\\" n{count - 1}')
        check(0 <= stopped_at < last_start, "the stop request did not arrive during the run")
        check(len(wine.probe_records(PROBE, count, timeout=300)) == count,
              "not every started program ran")


@scenario
def command_prompt(args):
    with WineSession() as wine:
        install(wine, args, b"probe.exe from-prompt\n")
        result = wine.wine(STARTER)
        check(result.returncode == 0, f"exit code {result.returncode}")
        trace = wine.read_trace()
        check(trace.pid is not None, "starter.exe did not run")
        check(trace.events == [], f"started outside the service manager it did {trace.events}")
        time.sleep(1)
        check(wine.probe_records(PROBE, 0, timeout=0) == [], "a probe was started")


@scenario
def code_page_932(args):
    # In code page 932 U+30BD is 83 5C, whose second byte is a backslash, and
    # U+30A2 is 83 41, whose second byte is an 'A'. The folder has a space too.
    folder = "C:\\\u30bd \u30a2"
    starter = folder + "\\\u30bd.exe"
    probe = folder + "\\probe.exe"
    with WineSession(locale="ja_JP.UTF-8") as wine:
        wine.put(folder + "\\fix.msp", data=b"")
        install(wine, args, "probe.exe \u30bd \u30a2\r\n\"{}\\PROBE.exe\" path\r\n"
                "msiexec.exe /p Fix.msp /qn /norestart".format(folder).encode("cp932"),
                probes=[probe], starter=starter)
        wine.use_native_installer(args.probe)
        lowered = "c:\\\u30bd \u30a2"
        patch = f'"{INSTALLER}" /p "{folder}\\fix.msp" /qn /norestart'
        trace = wine.start_service()
        expect_run(trace, [
            (f'"{folder}\\probe.exe" \u30bd \u30a2', True),
            (f'"{lowered}\\probe.exe" path', True),
            (patch, True),
        ])
        records = expect_records(wine, probe, [(f'"{folder}\\probe.exe" \u30bd \u30a2', folder),
                                               (f'"{lowered}\\probe.exe" path', lowered)])
        records += expect_records(wine, INSTALLER, [(patch, "C:\\windows")])
        expect_check_matches(wine, args, starter, trace, records, status=0)


# install.cmd's refusals: arguments as an administrator types them, its exit
# status, and words of what it says. Each leaves the installation as it was.
REFUSALS = [
    ("/?", 0, "usage: install.cmd"),
    ("/bogus", 1, 'unknown switch "/bogus"'),
    ("-auto", 1, 'unknown switch "-auto"'),
    ('"C:\\One" "C:\\Two"', 1, "more than one folder"),
    ("C:\\", 1, 'refusing "C:": it is a drive root'),
    ("C:\\Windows", 1, "in the Windows folder"),
    ('"C:\\windows\\Temp\\Svc"', 1, "in the Windows folder"),
    ("C:\\ProgramData", 1, "the ProgramData folder itself"),
    ('"C:\\Program Files"', 1, "the Program Files folder itself"),
    ("C:\\Users", 1, "the Users folder itself"),
    ("C:\\Users\\Public", 1, "in the Users folder"),
    ("C:\\Services\\Starter", 1, "a standard user may rename or replace a folder above it"),
    ("C:\\ProgramData\\Vendor\\Starter", 1, "a standard user may rename"),
    ('"C:\\Program Files\\A&B"', 1, "cannot pass safely"),
    ('"C:\\Program Files\\A^B"', 1, "cannot pass safely"),
    ('"C:\\Program Files\\A!B"', 1, "cannot pass safely"),
    ("\\\\server\\share\\Svc", 1, "network share"),
    # Every name the installation writes, starter-check.exe.new the longest,
    # must fit within 259 characters.
    ('"C:\\Program Files\\' + "x" * 221 + '"', 1, "238 characters long"),
    ('"C:\\Program Files\\' + "x" * 229 + '"', 1, "at most 237"),
    # Names Windows reads otherwise; %~f reads some of them first.
    ('"C:\\Program Files\\Foo:bar"', 1, "a colon after the drive"),
    ('"C:\\Program Files\\a*b"', 1, "wildcard"),
    ("\\\\?\\C:\\Svc", 1, "prefix"),
    # A move, by plain install.cmd into the default folder a standard user made
    # first with a list of theirs, or into a folder another product holds.
    ("", 1, 'refusing "C:\\ProgramData\\CorvaneRemoteStarter": others than administrators can'),
    ('"C:\\Program Files\\Vendor"', 1, "but this one holds Other\\"),
    # Who can change it, read from the real descriptors: here what Wine makes
    # of a folder with the Unix "other" write bit.
    ('"C:\\Program Files\\Open"', 1, "others than administrators can change it: Everyone may"),
    ('"C:\\Program Files\\Linked\\Starter"', 1,
     '"C:\\Program Files\\Linked", a folder above it, is a link to another place'),
]


@scenario
def release(args):
    """The release zip, unzipped and installed by its own install.cmd into a
    folder with a space, as an administrator would; then updated and removed,
    with what its scripts refuse and keep."""
    import hashlib
    import zipfile
    folder = "C:\\Program Files\\Svc Test"
    default = "C:\\ProgramData\\CorvaneRemoteStarter"
    # Wine ends a service that has not reported running within its pipe
    # timeout, and this one never does; the busy run below is halted a while.
    with WineSession(locale="C.UTF-8", channels=TRACE_CHANNELS + ",fixme+icacls",
                     pipe_timeout_ms=600000) as wine:
        wine.keep_services_up(args.probe)
        with zipfile.ZipFile(args.zip) as release_zip:
            names = release_zip.namelist()
            check(sorted(names) == ["README.txt", "SHA256SUMS", "THIRD-PARTY-NOTICES.txt",
                                    "install.cmd", "starter-check.exe", "starter.dat.example",
                                    "starter.exe", "uninstall.cmd"], f"the zip holds {names}")
            files = {name: release_zip.read(name) for name in names}
        for line in files["SHA256SUMS"].decode().splitlines():
            digest, name = line.split(" *")
            check(hashlib.sha256(files[name]).hexdigest() == digest, f"SHA256SUMS: {name}")
        guide = files["README.txt"]
        check(guide.startswith(b"\xef\xbb\xbf# Corvane Remote Starter") and b"scripts/" not in guide
              and b"certutil -hashfile" in guide and b"published with it" not in guide and
              b"is one zip" not in guide and
              0 < guide.find(b"\r\n# Deploying to a fleet\r\n") < guide.find(b"\r\n# Troubleshooting\r\n"),
              "README.txt is not the operator's guide")
        check(max(map(len, guide.decode("utf-8-sig").split("\r\n"))) <= 100,
              "README.txt has a line Notepad shows only in part")
        check(b"libstdc++" in files["THIRD-PARTY-NOTICES.txt"] and
              b"winpthread" in files["THIRD-PARTY-NOTICES.txt"], "notices lack a library")
        with zipfile.ZipFile(args.zip[:-len(".zip")] + "-symbols.zip") as symbols:
            check(sorted(symbols.namelist()) == ["package-actions.dll.debug",
                                                 "set-start-type.exe.debug",
                                                 "starter-check.exe.debug", "starter.exe.debug"],
                  f"the symbols zip holds {symbols.namelist()}")
        for name in names:
            wine.put("C:\\release\\" + name, data=files[name])
        # The administrator's list: its patch is not in the folder yet.
        wine.put("C:\\release\\starter.dat", data=b"Probe.exe One\r\nC:\\Probes\\Probe.exe Two\r\n"
                                                   b"msiexec.exe /p Fix.msp /qn")
        wine.put("C:\\Probes\\probe.exe", source=args.probe)
        wine.use_native_installer(args.probe)
        # Stand-ins for the system tools, in the folder the administrator runs
        # install.cmd from: cmd.exe would run these first.
        for tool in ("find", "sc", "reg", "icacls", "ping", "fc"):
            wine.put(f"C:\\{tool}.exe", source=args.probe)

        def script(command_line, background=False):
            """Runs a command line in C:\\ as cmd.exe reads it from a prompt."""
            wine.put("C:\\run.cmd", data=f"@cd /d C:\\\r\n@{command_line}\r\n"
                     .encode(wine.encoding))
            if background:
                return wine.wine("cmd", "/c", "C:\\run.cmd", background=True)
            done = wine.wine("cmd", "/c", "C:\\run.cmd", timeout=300)
            return done.returncode, done.stdout.decode(wine.encoding, "replace")

        registration = wine.registration

        def writable_by_all(path, run):
            """run() while any user could change path, as Wine reads the Unix
            "other" write bit; the mode it had is restored after."""
            mode = os.stat(wine.host_path(path)).st_mode
            os.chmod(wine.host_path(path), mode | 0o002)
            try:
                return run()
            finally:
                os.chmod(wine.host_path(path), mode)

        # Unpacked where a standard user could swap what runs elevated.
        for path, words in (("C:\\release", 'refusing to install from "C:\\release\\.": others'),
                            ("C:\\release\\starter.exe", '"C:\\release\\starter.exe", which it holds')):
            status, out = writable_by_all(path, lambda: script("C:\\release\\install.cmd"))
            check(status == 1 and words in out and "Everyone may" in out and registration() == {}
                  and not os.path.exists(wine.host_path(default)), f"{path}: {status} {out}")

        # A folder that a standard user made first, with a list of theirs in it:
        # its creator may change it.
        wine.put(default + "\\starter.dat", data=b"C:\\users\\Public\\evil.exe\r\n")
        os.chmod(wine.host_path(default), 0o777)
        status, out = script("C:\\release\\install.cmd /auto")
        check(status == 1 and "others than administrators can change it: Everyone" in out,
              f"a planted folder: {status} {out}")
        check(registration() == {} and wine.icacls_calls() == [],
              "a refused install changed things")

        # A program the list starts, in a folder any user can change.
        status, out = writable_by_all(
            "C:\\Probes", lambda: script(f'C:\\release\\install.cmd "{folder}" /auto'))
        check(status == 1 and "missing-patch" in out and "has errors" in out and
              'changeable-by-users: on this machine the program, c:\\probes\\probe.exe' in out,
              f"a list with errors: {status} {out}")
        check(registration() == {} and wine.icacls_calls() == [],
              "a refused install changed things")

        # A trailing backslash, and /force for the list's error.
        status, out = script(f'C:\\release\\install.cmd "{folder}\\" /auto /force')
        check(status == 0 and f'installed in "{folder}"' in out and "at every boot" in out,
              f"install.cmd: {status} {out}")
        installed = registration()
        check((installed.get("ImagePath"), installed.get("Type"), installed.get("Start"),
               bool(installed.get("Description"))) == (f'"{folder}\\starter.exe"', "0x110", "0x2",
                                                        True), f"registered as {installed}")
        check(wine.icacls_calls() == restricting(folder), f"icacls: {wine.icacls_calls()}")
        check(not any(wine.probe_records(f"C:\\{tool}.exe", timeout=0)
                      for tool in ("find", "sc", "reg", "icacls", "ping", "fc")),
              "install.cmd ran a tool from the current directory")
        # The installed service, audited: its folder changed by anyone fails it.
        audit = [folder + "\\starter-check.exe", "--installed", "--json"]
        done = wine.wine(*audit)
        check(done.returncode == 1 and json.loads(done.stdout)["installed"] ==
              {"image_path": f'"{folder}\\starter.exe"', "account": "LocalSystem"},
              f"--installed: {done.returncode} {done.stdout}")
        done = writable_by_all(folder, lambda: wine.wine(*audit))
        codes = [f["code"] for f in json.loads(done.stdout)["findings"]]
        check(done.returncode == 3 and codes == ["folder-rule"], f"--installed: {done.stdout}")
        # Installed first, then the programs go in.
        wine.put(folder + "\\probe.exe", source=args.probe)
        trace = wine.start_service()
        patch = f'"{INSTALLER}" /p "{folder}\\fix.msp" /qn'
        expect_run(trace, [(f'"{folder}\\probe.exe" one', True),
                           ("c:\\probes\\probe.exe two", True), (patch, True)])
        expect_records(wine, folder + "\\probe.exe", [(f'"{folder}\\probe.exe" one', folder)])

        with open(wine.host_path(folder + "\\starter.dat"), "rb") as f:
            installed_list = f.read()
        wine.put("C:\\Program Files\\Vendor\\Other\\app.exe", source=args.probe)
        os.makedirs(wine.host_path("C:\\Program Files\\Open"))
        os.chmod(wine.host_path("C:\\Program Files\\Open"), 0o777)
        os.makedirs(wine.host_path("C:\\Apps\\Linked"))
        os.symlink(wine.host_path("C:\\Apps\\Linked"), wine.host_path("C:\\Program Files\\Linked"))
        for arguments, want, words in REFUSALS:
            status, out = script(f"C:\\release\\install.cmd {arguments}")
            check(status == want and words in out, f"install.cmd {arguments}: {status} {out}")
            check(registration() == installed and wine.icacls_calls() == restricting(folder),
                  f"install.cmd {arguments} changed the service or a folder")
        check(os.listdir(wine.host_path(default)) == ["starter.dat"], "the move left files")
        check(not os.path.exists(wine.host_path("C:\\-auto")), "a folder -auto was made")
        # The guide shows each script's usage as the script prints it.
        for name in ("install.cmd", "uninstall.cmd"):
            usage = script(f"C:\\release\\{name} /?")[1]
            check(usage.startswith(f"usage: {name}") and f"```\r\n{usage}```\r\n".encode() in guide,
                  f"README.txt lacks {name} /?: {usage}")
        # Not in code page 1252, and so not in a batch file either: from Wine's own command line.
        done = wine.wine("cmd", "/c", "C:\\release\\install.cmd", "C:\\Program Files\\Svc-\u03a9")
        check(done.returncode == 1 and b"ANSI code page cannot hold" in done.stdout and
              registration() == installed, f"install.cmd Svc-\u03a9: {done.stdout}")

        # An update while the service works through its list waits for it; a
        # relative folder is made absolute; the list and the start type are kept.
        os.remove(wine.host_path("C:\\release\\starter.dat"))
        # Halted once it has started a program, and before it reports: where
        # the run ends first, a longer list. Only this run's part of the trace
        # counts, since Wine reuses process ids.
        def busy_run():
            return ServiceTrace(wine.read_trace().text[since:])

        for count in (30, 120, 480):
            installed_list = b"probe.exe busy\r\n" * count
            wine.put(folder + "\\starter.dat", data=installed_list)
            since = len(wine.read_trace().text)
            starting = wine.wine("sc", "start", "Corvane Remote Starter", background=True)
            deadline = time.time() + 120
            while time.time() < deadline and not busy_run().starts:
                time.sleep(0.05)
            service = wine.pause_service()
            if not busy_run().reported:
                break
            wine.resume_service(service)
            starting.wait(timeout=300)
        check(not busy_run().reported, "the service could not be halted during its run")
        updating = script('cd /d "C:\\Program Files" && C:\\release\\install.cmd "Svc Test"',
                          background=True)
        # Halted until install.cmd says it waits, however slow the machine.
        said = b""
        watchdog = threading.Timer(300, updating.kill)
        watchdog.start()
        while b"waiting" not in said and updating.poll() is None:
            said += updating.stdout.readline()
        watchdog.cancel()
        check(b"waiting" in said and registration() == installed and updating.poll() is None,
              f"the update did not wait for the busy service: {said!r}")
        wine.resume_service(service)
        out = (said + updating.communicate(timeout=300)[0]).decode(wine.encoding, "replace")
        starting.wait(timeout=300)
        check(updating.returncode == 0 and "waiting" in out and "updating" in out,
              f"update of a busy service: {updating.returncode} {out}")
        deadline = time.time() + 300
        while time.time() < deadline and not busy_run().reported:
            time.sleep(0.2)
        check(len(busy_run().starts) == count + 1, "the busy run was cut short")
        check(registration() == installed, f"the update changed the service: {registration()}")
        with open(wine.host_path(folder + "\\starter.dat"), "rb") as f:
            check(f.read() == installed_list, "the update replaced the installed list")

        # Wine's sc has no config command: an update into another folder stops
        # there, registered as before (on Windows, sc config moves it).
        status, out = script('C:\\release\\install.cmd "C:\\Program Files\\Other Dir"')
        check(status == 1 and f'moving the service from "{folder}"' in out and
              "sc config failed" in out and registration() == installed,
              f"install.cmd into another folder: {status} {out}")

        status, out = script("C:\\release\\uninstall.cmd")
        check(status == 0 and "removed the service" in out and f'"{folder}" was left' in out and
              "install.cmd takes it back" in out and f'rmdir /s /q "{folder}"' in out,
              f"uninstall.cmd: {status} {out}")
        check(registration() == {}, "the service is still registered")
        status, out = script("C:\\release\\uninstall.cmd")
        check(status == 0 and "not installed" in out, f"uninstall.cmd again: {status} {out}")
        # A folder left behind is taken back while it holds only the
        # installation's files: not with what a job wrote beside them.
        status, out = script(f'C:\\release\\install.cmd "{folder}"')
        check(status == 1 and "no service is registered yet, but it holds" in out and
              "probe.exe.log" in out and registration() == {},
              f"install.cmd into a folder left behind: {status} {out}")
        os.remove(wine.host_path(folder + "\\probe.exe.log"))
        status, out = script(f'C:\\release\\install.cmd "{folder}" && C:\\release\\uninstall.cmd')
        check(status == 0 and f'installed in "{folder}"' in out and registration() == {},
              f"install.cmd taking a folder back: {status} {out}")

        # /purge follows the registration, but deletes nothing in a folder the
        # folder rule refuses: what bears the installation's names there is another's.
        for where, why in (("C:\\ProgramData", "it is the ProgramData folder itself"),
                           ("C:\\users\\Public\\OtherTool", "it lies in the Users folder")):
            for name in ("starter.exe", "starter.dat", "starter-check.exe"):
                wine.put(f"{where}\\{name}", source=args.starter)
            wine.install_service(where + "\\starter.exe")
            status, out = script("C:\\release\\uninstall.cmd /purge")
            check(status == 1 and f'keeping "{where}": {why}' in out and
                  "nothing was removed" in out and registration() == {} and
                  all(os.path.exists(wine.host_path(f"{where}\\{name}"))
                      for name in ("starter.exe", "starter.dat", "starter-check.exe")),
                  f"/purge of {where}: {status} {out}")
        # ... and in a folder of its own only its own files, unless nothing else is there.
        purged = "C:\\Program Files\\Purged"
        status, out = script(f'C:\\release\\install.cmd "{purged}"')
        wine.put(purged + "\\notes.txt", data=b"the administrator's own\r\n")
        status, out = script("C:\\release\\uninstall.cmd /purge")
        check(status == 1 and "did not put there: notes.txt" in out and
              sorted(os.listdir(wine.host_path(purged))) == ["notes.txt"],
              f"/purge beside another file: {status} {out}")
        os.remove(wine.host_path(purged + "\\notes.txt"))
        # The quick start: a list and the patch it names beside install.cmd, one
        # line to install and start it; /purge takes the patch too.
        wine.put("C:\\release\\starter.dat", data=b"msiexec.exe /p Hotfix.msp /qn /norestart\r\n")
        wine.put("C:\\release\\Hotfix.msp", data=b"a patch")
        since = len(wine.read_trace().text)
        status, out = script(f'C:\\release\\install.cmd "{purged}" /start')
        check(status == 0 and "started" in out and
              sorted(os.listdir(wine.host_path(purged)))[0] == "hotfix.msp",
              f"install.cmd /start: {status} {out}")
        deadline = time.time() + 120
        while time.time() < deadline and not busy_run().reported:
            time.sleep(0.2)
        check(busy_run().starts == [(f'"{INSTALLER}" /p "{purged}\\hotfix.msp" /qn /norestart',
                                     True), (f'"{purged}\\"', False)],
              f"the quick start's run: {busy_run().starts}")
        status, out = script("C:\\release\\uninstall.cmd /purge")
        check(status == 0 and f'removed "{purged}"' in out and
              not os.path.exists(wine.host_path(purged)), f"/purge: {status} {out}")

        # The version resource and the manifest, read back by the cross toolchain's windres.
        image = files["starter.exe"]
        pe = int.from_bytes(image[0x3C:0x40], "little")
        windres = "i686-w64-mingw32-windres" if image[pe + 4] == 0x4C else \
            "x86_64-w64-mingw32-windres"
        with open(os.path.join(wine.work, "starter.exe"), "wb") as f:
            f.write(image)
        resource = subprocess.run([windres, "-i", os.path.join(wine.work, "starter.exe"), "-O",
                                   "rc"], check=True, stdout=subprocess.PIPE, text=True).stdout
        for value in (f'"FileVersion", "{args.version}"', f'"ProductVersion", "{args.version}"',
                      '"ProductName", "Corvane Remote Starter"',
                      '"OriginalFilename", "starter.exe"', 'level=""asInvoker""',
                      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
            check(value in resource, f"resources lack {value}:\n{resource}")
        check(b".gnu_debuglink" in image and b"starter.exe.debug" in image and
              b".debug_info" not in image, "starter.exe is not stripped with a debug link")


@scenario
def msi(args):
    """The Windows Installer package, as a deployment tool runs it: signed with a
    throwaway certificate, refused a folder of others, an INSTALLFOLDER and a
    LISTFILE that would run a command; installed with a list to start at every
    boot, repaired, refused a failed upgrade, upgraded, reinstalled, refused a
    downgrade and removed."""
    import tempfile
    folder = "C:\\ProgramData\\CorvaneRemoteStarter"
    build = os.path.dirname(os.path.abspath(args.msi))
    with tempfile.TemporaryDirectory() as keys:
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                        "/CN=Throwaway Signer", "-days", "1", "-keyout", f"{keys}/key.pem",
                        "-out", f"{keys}/cert.pem"], check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", f"{keys}/key.pem", "-in",
                        f"{keys}/cert.pem", "-passout", "pass:secret", "-out", f"{keys}/cert.p12"],
                       check=True, capture_output=True)
        for name, text in (("password", "secret"), ("wrong", "guess")):
            with open(f"{keys}/{name}", "w") as f:
                f.write(text + "\n")
        sign = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "sign.sh")
        subprocess.run([sign, "--build", build, f"{keys}/cert.p12", f"{keys}/password"],
                       check=True, capture_output=True)
        signed_folder = os.path.join(build, "signed")
        signed = os.path.join(signed_folder, os.path.basename(args.msi))
        before = {name: os.path.getmtime(os.path.join(signed_folder, name))
                  for name in os.listdir(signed_folder)}
        wrong = subprocess.run([sign, "--build", build, f"{keys}/cert.p12", f"{keys}/wrong"],
                               capture_output=True)
        check(wrong.returncode == 2 and b"a wrong password" in wrong.stderr and
              {name: os.path.getmtime(os.path.join(signed_folder, name))
               for name in os.listdir(signed_folder)} == before,
              f"a wrong password: {wrong.returncode} {wrong.stderr[-300:]}")
        with open(signed, "rb") as f:
            tampered = bytearray(f.read())
        tampered[len(tampered) // 2] ^= 1
        with open(f"{keys}/tampered.msi", "wb") as f:
            f.write(tampered)
        import zipfile
        release_zip = os.path.basename(args.msi)[:-len(".msi")] + ".zip"
        with zipfile.ZipFile(os.path.join(signed_folder, release_zip)) as signed_zip:
            signed_zip.extract("starter.exe", keys)
        for path, good in ((signed, True), (f"{keys}/tampered.msi", False),
                           (f"{keys}/starter.exe", True)):
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", f"{keys}/cert.pem",
                                     "-in", path], capture_output=True)
            check((verify.returncode == 0) == good, f"osslsigncode verify {path}: "
                                                    f"{verify.stdout.decode()[-300:]}")

    # What Wine cannot show: a standard user's repair may pass only secure
    # properties, and the old version is removed inside the transaction.
    def table(name):
        out = subprocess.run(["msiinfo", "export", args.msi, name], check=True,
                             capture_output=True, text=True).stdout
        return [line.split("\t") for line in out.splitlines()[3:]]
    properties = dict(table("Property"))
    secure = properties["SecureCustomProperties"].split(";")
    # Wine's msiexec drops every quote of a value, so this refusal shows only here.
    conditions = [row[0] for row in table("LaunchCondition")]
    check(properties["DoubleQuote"] == '"' and "NOT (LISTFILE >< DoubleQuote)" in conditions,
          f"no refusal of a quote in LISTFILE: {conditions}")
    sequence = {row[0]: int(row[2]) for row in table("InstallExecuteSequence")}
    files = {row[2]: (row[1], row[4]) for row in table("File")}
    # Windows Installer copies the list itself, so a rollback puts the old one back.
    check(table("MoveFile") == [["List", "Service", "", "starter.dat", "ListSource",
                                 "ServiceFolder", "0"]], f"the list's copy: {table('MoveFile')}")
    check("LISTFILE" not in secure and "INSTALLFOLDER" not in secure and
          sequence["InstallInitialize"] < sequence["RemoveExistingProducts"] <
          sequence["ProcessComponents"] and
          files == {"starter.exe": ("Service", f"{args.version}.0"),
                    "starter-check.exe": ("Checker", f"{args.version}.0")},
          f"the package's tables: {secure} {sequence} {files}")

    with WineSession(channels=TRACE_CHANNELS + ",fixme+icacls") as wine:
        wine.keep_services_up(args.probe)
        wine.put("C:\\Deploy\\corvane.msi", source=signed)
        wine.put("C:\\Deploy\\next.msi", source=args.msi_next)
        # The job: a list that names a program by its path, a bare program and a
        # patch, the last two staged beside it.
        deployed = (b"C:\\Probes\\Probe.exe /Deployed\r\nProbe.exe /Bare\r\n"
                    b"msiexec.exe /p Hotfix.msp /qn /norestart\r\n")
        wine.put("C:\\Deploy\\starter.dat", data=deployed)
        wine.put("C:\\Deploy\\probe.exe", source=args.probe)
        wine.put("C:\\Deploy\\Hotfix.msp", data=b"a patch")
        wine.put("C:\\Deploy\\broken.dat", data=b"del C:\\x\r\nmsiexec.exe /i a.msi\r\n")
        wine.put("C:\\Probes\\probe.exe", source=args.probe)

        registration = wine.registration

        def installed_version():
            for view in ("", "\\Wow6432Node"):
                out = wine.wine("reg", "query", f"HKLM\\Software{view}\\Microsoft\\Windows\\"
                                "CurrentVersion\\Uninstall", "/s").stdout.decode("latin-1")
                for entry in out.split("\r\n\r\n"):
                    if "Corvane Remote Starter" in entry:
                        return re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", entry).group(1)
            return None

        def list_bytes():
            path = wine.host_path(folder + "\\starter.dat")
            if not os.path.exists(path):
                return None
            with open(path, "rb") as f:
                return f.read()

        # Refused before anything changes: a folder a standard user made first,
        # any INSTALLFOLDER, and a LISTFILE that is no readable file.
        wine.put(folder + "\\starter.dat", data=b"C:\\users\\Public\\evil.exe\r\n")
        os.chmod(wine.host_path(folder), 0o777)  # its creator's
        log = wine.msiexec("/i", "C:\\Deploy\\corvane.msi", "LISTFILE=C:\\Deploy\\starter.dat")
        check("JudgeFolder" in log and registration() == {} and installed_version() is None,
              "a planted folder was taken")
        shutil.rmtree(wine.host_path(folder))
        # ... a list in a folder any user can change, one that can never work,
        # and a start type or start it does not know.
        wine.put("C:\\Open\\starter.dat", data=deployed)
        os.chmod(wine.host_path("C:\\Open"), 0o777)
        for option in ("INSTALLFOLDER=C:\\", "LISTFILE=C:\\Deploy\\starter.dat & echo injected> "
                       "C:\\pwned.txt", "LISTFILE=C:\\Open\\starter.dat",
                       "LISTFILE=C:\\Deploy\\broken.dat", "STARTTYPE=sometimes",
                       "STARTSERVICE=yes"):
            wine.msiexec("/i", "C:\\Deploy\\corvane.msi", option)
            check(registration() == {} and installed_version() is None and
                  not os.path.exists(wine.host_path("C:\\pwned.txt")) and
                  not os.path.exists(wine.host_path(folder)), f"{option} was taken")
        check(wine.icacls_calls() == [],
              f"a refused package changed a folder: {wine.icacls_calls()}")
        # A file written into the folder after it was judged, here by a
        # stand-in for icacls.exe, is found when it is judged again, as SYSTEM,
        # once its access is set; and the installation is rolled back.
        icacls = "C:\\windows\\system32\\icacls.exe"
        wine.use_native(icacls, args.probe)
        wine.put(icacls + ".plant", data=(folder + "\\evil.dll").encode())
        wine.msiexec("/i", "C:\\Deploy\\corvane.msi", "LISTFILE=C:\\Deploy\\starter.dat")
        check(wine.probe_records(icacls, timeout=0) and registration() == {} and
              installed_version() is None, "a file planted after the judgement was installed beside")
        wine.use_builtin(icacls)
        os.remove(wine.host_path(icacls + ".plant"))
        shutil.rmtree(wine.host_path(folder))

        # One line installs the job, in any case of STARTTYPE, and runs it once
        # Windows Installer is done.
        wine.msiexec("/i", "C:\\Deploy\\corvane.msi", "LISTFILE=C:\\Deploy\\starter.dat",
                     "STARTTYPE=Auto", "STARTSERVICE=1")
        # Wine's installer registers the path unquoted, as the package allows
        # for: its folder holds no space.
        registered = registration()
        check({k: registered.get(k) for k in ("Type", "Start", "ObjectName", "ImagePath")} ==
              {"Type": "0x110", "Start": "0x2", "ObjectName": "LocalSystem",
               "ImagePath": folder + "\\starter.exe"}, f"registered as {registered}")
        check(wine.icacls_calls() == restricting(folder + "\\."),
              f"icacls: {wine.icacls_calls()}")
        # The list was copied by Windows Installer itself: no shell ran, which
        # a value with a quote and an & once turned into a command as SYSTEM.
        check("cmd.exe" not in wine.read_trace().text, "the installation ran a shell")
        check(sorted(os.listdir(wine.host_path(folder)))[:2] == ["hotfix.msp", "probe.exe"],
              f"the list's files: {os.listdir(wine.host_path(folder))}")
        patch = f'"{INSTALLER}" /p {folder}\\hotfix.msp /qn /norestart'
        expect_run(wine.wait_for_report(), [("c:\\probes\\probe.exe /deployed", True),
                                           (f'"{folder}\\probe.exe" /bare', True), (patch, True),
                                           (f'"{folder}\\"', False)])
        expect_records(wine, "C:\\Probes\\probe.exe", [("c:\\probes\\probe.exe /deployed",
                                                        "c:\\probes")])
        expect_records(wine, folder + "\\probe.exe", [(f'"{folder}\\probe.exe" /bare', folder)])

        # An administrator's run with a new list takes it, and its files, at once.
        since = len(wine.read_trace().text)
        wine.put("C:\\Deploy\\next\\starter.dat", data=b"Probe.exe /Second\r\n")
        wine.put("C:\\Deploy\\next\\probe.exe", source=args.probe)
        wine.msiexec("/i", "C:\\Deploy\\corvane.msi", "LISTFILE=C:\\Deploy\\next\\starter.dat",
                     "STARTSERVICE=1")
        deadline = time.time() + 120
        while time.time() < deadline and not ServiceTrace(wine.read_trace().text[since:]).reported:
            time.sleep(0.2)
        check(ServiceTrace(wine.read_trace().text[since:]).starts ==
              [(f'"{folder}\\probe.exe" /second', True), (f'"{folder}\\"', False)],
              f"the new list: {ServiceTrace(wine.read_trace().text[since:]).starts}")
        deployed = b"Probe.exe /Second\r\n"
        # An upgrade that fails leaves the old version, service, start type and list.
        next_version = re.search(r"-(\d+\.\d+\.\d+)-", os.path.basename(args.msi_next)).group(1)
        wine.msiexec("/i", "C:\\Deploy\\next.msi", "LISTFILE=C:\\Deploy\\missing.dat")
        check((installed_version(), registration().get("Start"), list_bytes()) ==
              (args.version, "0x2", deployed), "a failed upgrade took the old version")
        # An upgrade keeps the start type; a reinstall changes it.
        wine.msiexec("/i", "C:\\Deploy\\next.msi")
        check((installed_version(), registration().get("Start"), list_bytes()) ==
              (next_version, "0x2", deployed), "the upgrade lost the list or the start type")
        wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus",
                     "STARTTYPE=demand")
        check(registration().get("Start") == "0x3", f"STARTTYPE=demand: {registration()}")
        # A repair that finds no service judges the folder as a first
        # installation would: here, one a standard user made again.
        wine.wine("sc", "delete", "Corvane Remote Starter")
        shutil.rmtree(wine.host_path(folder))
        os.makedirs(wine.host_path(folder))
        os.chmod(wine.host_path(folder), 0o777)
        wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus")
        check(registration() == {} and os.listdir(wine.host_path(folder)) == [],
              "a repair took a folder a standard user made")
        os.rmdir(wine.host_path(folder))
        wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus")
        check(registration().get("Start") == "0x3", f"a repair after: {registration()}")
        wine.put(folder + "\\starter.dat", data=deployed)
        log = wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
        # The launch condition that carries the refusal's message fails; Wine
        # does not write the message to the log.
        check("WIX_DOWNGRADE_DETECTED = {" in log and "LaunchConditions. Return value 1" not in
              log and installed_version() == next_version, "a downgrade was not refused")

        wine.msiexec("/x", "C:\\Deploy\\next.msi")
        check(registration() == {} and installed_version() is None, "the service is still there")
        check(list_bytes() == deployed and
              not os.path.exists(wine.host_path(folder + "\\starter.exe")),
              "removal took the list, or left the program")
        # What removal leaves, the installation's own files open to
        # administrators alone, a new installation takes back, list and all;
        # not while the folder holds anything else, such as what a job left.
        wine.put(folder + "\\probe.exe.log", data=b"what a job wrote\r\n")
        wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
        check(registration() == {}, "installed into a folder that held a job's log")
        os.remove(wine.host_path(folder + "\\probe.exe.log"))
        wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
        check(registration().get("ImagePath") == folder + "\\starter.exe" and
              installed_version() == args.version and list_bytes() == deployed,
              "a new installation did not take back what removal left")


@scenario
def differential(args):
    """Generated lines, over a layout from the same seed, in a single-byte and
    a double-byte code page: for each line, what starter-check.exe, run on the
    same machine, says will start (a program or nothing) is what the service
    started."""
    for code_page in sorted(generated_lines.CODE_PAGES):
        differences = compare_starts(args, code_page)
        check(not differences, f"seed {args.seed}, code page {code_page}:\n  " +
              "\n  ".join(differences))


def compare_starts(args, code_page):
    own = generated_lines.CODE_PAGES[code_page]
    service, entries = generated_lines.layout(args.seed, code_page)
    made = generated_lines.lines(args.seed, args.lines, code_page)
    starter = service + "\\starter.exe"
    with WineSession(locale=own["locale"]) as wine:
        for path, kind in entries:
            if kind == "folder":
                os.makedirs(wine.host_path(path), exist_ok=True)
            else:
                wine.put(path, source=args.probe if kind == "image" else None,
                         data=b"@exit\r\n" if kind == "text" else None)
        wine.use_native_installer(args.probe)
        install(wine, args, "".join(line + "\r\n" for line in made).encode(own["encoding"]),
                probes=(), starter=starter)
        trace = wine.start_service()
        tool = service + "\\starter-check.exe"
        wine.put(tool, source=args.check)
        shown = json.loads(wine.wine(tool, "--json", service + "\\starter.dat").stdout)["lines"]
    started = trace.images
    check(len(started) == len(shown) == len(made) + 1,
          f"{len(made)} lines, {len(shown)} shown, {len(started)} starts")
    cmd = generated_lines.SYSTEM.lower() + "\\cmd.exe"
    differences = []
    for number, (line, image) in enumerate(zip(shown, started), 1):
        says = (line["starts"] or "").encode("latin-1").decode(own["encoding"]).lower()
        says = says.replace("/", "\\")
        if says.endswith((".bat", ".cmd")):
            says = cmd  # started through cmd.exe
        did = generated_lines.as_windows_starts(image or "")
        if says != did and not generated_lines.wine_tries_bare_names(says, did):
            read = line["read"].encode("latin-1").decode(own["encoding"], "replace")
            differences.append(f"line {number} [{read}]: starter-check.exe says "
                               f"{says or 'nothing'}, the service started {did or 'nothing'}")
    kinds = sorted({image.lower() for image in started if image})
    print(f"seed {args.seed}, code page {code_page}: {len(made)} lines, "
          f"{sum(map(bool, started))} started, {len(kinds)} programs: {', '.join(kinds)}")
    return differences


@scenario
def executable(args):
    """starter.exe is a PE32 GUI program for i386 that needs no mingw DLL."""
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", args.starter], check=True,
                          stdout=subprocess.PIPE, text=True).stdout
    check("file format pei-i386" in dump, "not an i386 PE file")
    check("(PE32)" in dump, "not PE32")
    check("(Windows GUI)" in dump, "not the GUI subsystem")
    dlls = sorted(line.split(":", 1)[1].strip().lower()
                  for line in dump.splitlines() if "DLL Name:" in line)
    check(set(dlls) <= {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}, f"imports {dlls}")
    check({"kernel32.dll", "advapi32.dll"} <= set(dlls), f"imports {dlls}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--starter", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--check", required=True, help="starter-check.exe")
    parser.add_argument("--zip", help="the release zip, for the release scenario")
    parser.add_argument("--version", help="the version it must carry")
    parser.add_argument("--msi", help="the Windows Installer package, for the msi scenario")
    parser.add_argument("--msi-next", help="the same package, of the next version")
    parser.add_argument("--seed", type=int, default=1, help="the differential scenario's lines")
    # An emulated machine starts a program in seconds, not milliseconds.
    parser.add_argument("--lines", type=int, default=150 if os.environ.get("STARTER_EMULATED")
                        else 300, help="how many it generates in each code page")
    parser.add_argument("scenarios", nargs="*", default=sorted(SCENARIOS))
    args = parser.parse_args()
    failed = []
    for name in args.scenarios:
        started = time.time()
        try:
            SCENARIOS[name](args)
            print(f"PASS {name} ({time.time() - started:.1f} s)")
        except Exception:
            failed.append(name)
            print(f"FAIL {name} ({time.time() - started:.1f} s)")
            traceback.print_exc()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

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
import subprocess
import sys
import time
import traceback

from wine_service import INSTALLER, WineSession

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
            # None, or "c:" (drive C's current directory): the service's own.
            directory = "C:\\windows" if directory in (None, "c:") else \
                directory.encode("latin-1").decode(wine.encoding)
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
                            b"C:Tools\\Probe.exe /DriveRelative\n",
                probes=[PROBE, "C:\\tools\\probe.exe", SPACED])
        wine.use_native_installer(args.probe)
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
        # No directory chosen: the installer inherits the service's, C:\windows.
        records += expect_records(wine, INSTALLER, [
            (f'"{INSTALLER}" /p C:\\svc\\hotfix.msp reinstall=all', "C:\\windows")])
        # On the machine itself starter-check.exe finds what is missing there.
        lines = expect_check_matches(wine, args, STARTER, trace, records, status=1)
        missing = [(l["line"], f["code"]) for l in lines for f in l["findings"]
                   if f["code"].startswith("missing-") or f["code"] in ("unquoted-spaces", "tab")]
        check(missing == [(3, "missing-program"), (7, "missing-program"),
                          (7, "missing-directory"), (8, "missing-patch"), (11, "unquoted-spaces"),
                          (13, "missing-program"), (13, "missing-directory")],
              f"starter-check found missing: {missing}")
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
    with WineSession() as wine:
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
                "msiexec.exe /p Fix.msp /qn".format(folder).encode("cp932"),
                probes=[probe], starter=starter)
        wine.use_native_installer(args.probe)
        lowered = "c:\\\u30bd \u30a2"
        patch = f'"{INSTALLER}" /p "{folder}\\fix.msp" /qn'
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


@scenario
def release(args):
    """The release zip, unzipped and installed by its own install.cmd into a
    folder with a space, as an administrator would; then updated and removed."""
    import zipfile
    folder = "C:\\Svc Test"
    with WineSession() as wine:
        wine.keep_services_up(args.probe)
        with zipfile.ZipFile(args.zip) as release_zip:
            names = release_zip.namelist()
            check(sorted(names) == ["README.txt", "SHA256SUMS", "install.cmd", "starter-check.exe",
                                    "starter.dat", "starter.exe", "uninstall.cmd"],
                  f"the zip holds {names}")
            for name in names:
                wine.put("C:\\release\\" + name, data=release_zip.read(name))
        wine.put("C:\\release\\starter.dat", data=b"Probe.exe One\r\n"
                                                   b"C:\\Probes\\Probe.exe Two\r\n"
                                                   b"msiexec.exe /p Fix.msp /qn")
        wine.put(folder + "\\probe.exe", source=args.probe)
        wine.put("C:\\Probes\\probe.exe", source=args.probe)
        wine.use_native_installer(args.probe)

        def script(*arguments):
            done = wine.wine("cmd", "/c", *arguments)
            return done.returncode, done.stdout.decode(wine.encoding, "replace")

        # Wine's icacls changes nothing and answers 0, so nothing here rests on
        # the folder's permissions; install.cmd would stop if it failed.
        status, out = script("C:\\release\\install.cmd", folder)
        check(status == 0 and f"installed in {folder}" in out, f"install.cmd: {status} {out}")
        check(wine.query_service().get("TYPE") == "110", "the service is not registered")
        trace = wine.start_service()
        patch = f'"{INSTALLER}" /p "{folder}\\fix.msp" /qn'
        expect_run(trace, [(f'"{folder}\\probe.exe" one', True),
                           ("c:\\probes\\probe.exe two", True), (patch, True)])
        expect_records(wine, folder + "\\probe.exe", [(f'"{folder}\\probe.exe" one', folder)])
        expect_records(wine, INSTALLER, [(patch, "C:\\windows")])

        status, out = script("C:\\release\\install.cmd", folder)
        check(status == 0 and "updating" in out, f"install.cmd again: {status} {out}")
        status, out = script("C:\\release\\uninstall.cmd", folder)
        check(status == 0 and "removed" in out and "left in place" in out,
              f"uninstall.cmd: {status} {out}")
        check(wine.query_service() == {}, "the service is still registered")
        status, out = script("C:\\release\\uninstall.cmd", folder)
        check(status == 0 and "not installed" in out, f"uninstall.cmd again: {status} {out}")

        # The version resource, read back by the cross toolchain's windres.
        with zipfile.ZipFile(args.zip) as release_zip:
            image = release_zip.read("starter.exe")
        pe = int.from_bytes(image[0x3C:0x40], "little")
        windres = "i686-w64-mingw32-windres" if image[pe + 4] == 0x4C else \
            "x86_64-w64-mingw32-windres"
        with open(os.path.join(wine.work, "starter.exe"), "wb") as f:
            f.write(image)
        resource = subprocess.run([windres, "-i", os.path.join(wine.work, "starter.exe"), "-O",
                                   "rc"], check=True, stdout=subprocess.PIPE, text=True).stdout
        for value in (f'"FileVersion", "{args.version}"', f'"ProductVersion", "{args.version}"',
                      '"ProductName", "Corvane Remote Starter"',
                      '"OriginalFilename", "starter.exe"'):
            check(value in resource, f"version resource lacks {value}:\n{resource}")


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

#!/usr/bin/env python3
"""End-to-end scenarios: the real starter.exe, installed as a service with
sc.exe in a fresh Wine prefix and started through the service control manager;
the release's and the package's scenarios are in files of their own.

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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_common import (INSTALLER, LIST, PROBE, SCENARIOS, SERVICE_DIR, SPACED, STARTER,  # noqa: E402
                        WineSession, check, expect_check_matches, expect_records, expect_run,
                        install, scenario)
from wine_service import WINE  # noqa: E402
import generated_lines  # noqa: E402
import package_scenario  # noqa: E402,F401  the msi scenario
import release_scenario  # noqa: E402,F401  the release scenario


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
        # First, so that under WoW64 the system folder's files go where the
        # 32-bit service and tool see them.
        wine.use_native_installer(args.probe)
        for path, kind in entries:
            if kind == "folder":
                os.makedirs(wine.host_path(path), exist_ok=True)
            else:
                wine.put(path, source=args.probe if kind == "image" else None,
                         data=b"@exit\r\n" if kind == "text" else None)
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
    parser.add_argument("--key-access", help="key_access.exe, which sets a registry key's access")
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

#!/usr/bin/env python3
"""Installs starter.exe as the "Corvane Remote Starter" service in a throwaway
Wine prefix, beside a sample launch list, starts it through the service
control manager, and prints what each line of the list started.

The sample programs, and the system directory's msiexec.exe, are copies of the
probe: each records the command line and working directory it was given.

    demo.py STARTER_EXE PROBE_EXE
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "support"))
from wine_service import INSTALLER, SERVICE_NAME, WineSession  # noqa: E402

FOLDER = "C:\\ProgramData\\CorvaneRemoteStarter"  # where install.cmd puts it
LINES = [
    ("Hello.exe /Greet World", "bare program: run from the service's folder",
     FOLDER + "\\hello.exe"),
    ("C:\\Tools\\Report.exe /Daily /Quiet", "program with a path: run in its own folder",
     "C:\\Tools\\report.exe"),
    ("\"C:\\Program Files\\Vendor\\Setup.exe\" /S", "program with a quoted path: run in its "
     "own folder", "C:\\Program Files\\Vendor\\setup.exe"),
    ("msiexec.exe /p Hotfix.msp /qn /norestart", "installer patch: the system's msiexec.exe, "
     "patch from the service's folder", INSTALLER),
]


def main(starter, probe):
    print("Setting up a throwaway Wine prefix...")
    with WineSession() as wine:
        wine.put(FOLDER + "\\starter.exe", source=starter)
        for _, _, program in LINES:
            wine.put(program, source=probe)
        wine.use_native_installer(probe)
        wine.put(FOLDER + "\\starter.dat", data="\r\n".join(l for l, _, _ in LINES).encode())
        wine.install_service(FOLDER + "\\starter.exe")
        print(f'Installed {FOLDER}\\starter.exe as "{SERVICE_NAME}" '
              "(sc create ... type= own type= interact)")
        print(f"Launch list {FOLDER}\\starter.dat:")
        for number, (line, _, _) in enumerate(LINES, 1):
            print(f"  {number}. {line}")
        print("\nStarting it with sc start (which answers 1053: the service does its "
              "work and stops without ever reporting running)...\n")
        trace = wine.start_service()

        starts = trace.starts
        for number, (line, rule, program) in enumerate(LINES, 1):
            records = wine.probe_records(program, 1)
            print(f"{number}. {line}")
            print(f"   rule:              {rule}")
            if number <= len(starts):
                print(f"   service started:   {starts[number - 1][0]}"
                      f"{'' if starts[number - 1][1] else '  (failed)'}")
            for record in records:
                print(f"   program saw:       command line {record['command line']}")
                print(f"                      working directory {record['directory']}")
                print(f"                      priority class {record['priority']}, "
                      f"console {record['console']}")
            if not records:
                print("   program saw:       nothing, it did not run")
        state = wine.query_service()
        reports = [e[1] for e in trace.events if e[0] == "report"]
        print(f"\nService after the run: state {state.get('STATE')} "
              f"({'STOPPED' if state.get('STATE') == '1' else 'not stopped'}), "
              f"exit code {state.get('WIN32_EXIT_CODE')}")
        print(f"Its status reports: {len(reports)}: {'; '.join(reports)} "
              "(type, state, controls, exit code, service exit code, checkpoint, wait hint)")
    print("Prefix removed.")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])

#!/usr/bin/env python3
"""starter-check over a list of a million lines: lines a second and peak
memory, for the native build and for starter-check.exe under Wine, and the
native build's time for four times the lines, which must be about four
times as long. A figure, not a test: docs/performance.md gives the results.

    check_bench.py --tool starter-check [--exe starter-check.exe] [--lines N]
"""
import argparse
import os
import subprocess
import tempfile

# One line of each rule, and one with findings, cycled.
KINDS = [b"Setup.exe /S", b"C:\\Tools\\Report.exe /Daily", b"msiexec.exe /p Hotfix.msp /qn",
         b"C:\\Program Files\\X\\setup.exe /s"]


def write_list(path, lines):
    with open(path, "wb") as f:
        f.write(b"\r\n".join(KINDS[i % len(KINDS)] for i in range(lines)))
    return os.path.getsize(path) / 2**20


def measure(command, env=None):
    """Seconds and peak resident memory in MiB of one run, output discarded.
    GNU time forks the command from a small process of its own, so the peak
    is the tool's alone, not this script's."""
    done = subprocess.run(["/usr/bin/time", "-f", "%e %M", *command], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode not in (0, 1):
        raise SystemExit(f"{command[0]} failed with {done.returncode}: {done.stderr}")
    seconds, kib = done.stderr.split()[-2:]
    return float(seconds), int(kib) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--exe")
    parser.add_argument("--lines", type=int, default=1_000_000)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "Starter.dat")
        size = write_list(path, args.lines)
        runs = [("native", [args.tool])]
        env = None
        if args.exe:
            prefix = os.path.join(work, "prefix")
            arch = os.environ.get("STARTER_WINEARCH", "win32")
            wine = os.environ.get("STARTER_WINE", "wine")
            env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=arch, WINEDEBUG="-all")
            subprocess.run([wine, "wineboot", "-i"], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            runs.append((f"Wine {arch}", [wine, args.exe]))
        try:
            for name, tool in runs:
                for output in ([], ["--json"]):
                    seconds, peak = measure([*tool, *output, path], env)
                    print(f"{name:10} {'json' if output else 'text':5} {args.lines} lines "
                          f"({size:.1f} MiB): {seconds:.2f} s, {args.lines / seconds:,.0f} "
                          f"lines/s, peak {peak:.1f} MiB")
                    if not output and name == "native":
                        once = seconds
            # Time grows with the list's length and no faster.
            larger = os.path.join(work, "Larger.dat")
            write_list(larger, 4 * args.lines)
            seconds, peak = measure([args.tool, larger])
            os.remove(larger)
            print(f"native     text  {4 * args.lines} lines: {seconds:.2f} s, "
                  f"{seconds / once:.1f} times as long, peak {peak:.1f} MiB")
        finally:
            if env:
                subprocess.run(["wineserver", "-k"], env=env)
                subprocess.run(["wineserver", "-w"], env=env)  # gone before its prefix is


if __name__ == "__main__":
    main()

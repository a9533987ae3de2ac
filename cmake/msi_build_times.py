"""Sets the two times in a package's summary information, which wixl and
msibuild stamp with the clock, to the release's time.

    python3 msi_build_times.py PACKAGE STARTED FINISHED EPOCH

STARTED and FINISHED bracket the build, in seconds since 1970. Every FILETIME
of a second between them becomes EPOCH; anything but the summary's two fails,
since the same bytes elsewhere would be data, not a time."""

import sys


def filetime(seconds):
    return ((seconds + 11644473600) * 10**7).to_bytes(8, "little")


def main():
    path, started, finished, epoch = sys.argv[1], *map(int, sys.argv[2:])
    with open(path, "rb") as f:
        data = f.read()
    found = 0
    for t in range(started - 1, finished + 2):
        found += data.count(filetime(t))
        data = data.replace(filetime(t), filetime(epoch))
    if found != 2:
        sys.exit(f"msi_build_times: {found} build times in {path}, not the summary's two")
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()

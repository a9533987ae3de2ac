"""Launch-list lines built from classes of tokens, over a file layout, both
drawn from one seed: so that a run the differential scenario fails on can be
made again from the seed it prints.

A line is a program, then arguments. The program is a bare name, a relative
(from the current directory alone, too), rooted, drive-relative or full path,
quoted or not, with or without spaces, extension or the .exe rule; names a
program, a batch file, a document, a device, a folder or nothing; and may hold a variable, a forward slash, a stray quote or
another code page's space. The arguments are options, paths, quotes,
variables and the operators of cmd.exe.
"""

import random

# A folder with a space, where an earlier name may exist, and one without.
SPACED_SERVICE = "C:\\Program Files\\Corvane"
SERVICE = "C:\\ProgramData\\CorvaneRemoteStarter"
SYSTEM = "C:\\windows\\system32"
# Under Wine a service's current directory is C:\windows, on Windows the
# system directory. Every name reached through the current directory is laid
# out in both, and a start from the first is taken as one from the second.
WINE_CURRENT = "C:\\windows"

IMAGES = ["C:\\dt\\tools\\a.exe", "C:\\dt\\tools\\b.exe", "C:\\dt\\prog ram\\x.exe",
          "C:\\dt\\a b\\c d.exe", "C:\\dt\\noext", "C:\\dt\\tools\\lib.dll",
          "C:\\dt\\tools\\setup.exe", "{service}\\tool.exe", "{service}\\sub\\x.exe",
          "{current}\\rel\\y.exe", "{current}\\dot.exe",
          # Both names of the hijack shape: the shorter starts.
          "C:\\dt\\hi.exe", "C:\\dt\\hi jack\\x.exe"]
# Present or not, by the seed: the shorter names Windows tries first.
MAYBE_IMAGES = ["C:\\dt\\prog.exe", "C:\\dt\\a.exe", "C:\\Program.exe", "{service}\\my.exe",
                "{service}\\#.exe", "C:\\dt\\tools\\a", "{service}\\setup.exe"]
OTHER_FILES = ["C:\\dt\\run.bat", "C:\\dt\\run.cmd", "C:\\dt\\doc.txt", "C:\\dt\\sc ript.ps1",
               "{service}\\job.bat", "{service}\\readme.txt"]
FOLDERS = ["C:\\dt\\folder.exe", "C:\\dt\\data", "{current}\\rel"]

# What each code page adds: its encoding and Unix locale, separators other
# than the ASCII space, and names with its own characters. In 932, U+30BD is
# 83 5C, whose second byte is a backslash, and U+3000 is the full-width space.
CODE_PAGES = {
    1252: {"encoding": "cp1252", "locale": None,
           "separators": ["\xa0"], "quotings": ["\u201c{p}\u201d", "\u201c{p}\""],
           "images": ["C:\\dt\\caf\xe9\\x.exe", "C:\\dt\\no\xa0break.exe"],
           "programs": ["C:\\dt\\caf\xe9\\x.exe", "C:\\dt\\CAF\xc9\\X", "C:\\dt\\no\xa0break.exe",
                        "C:\\dt\\no\xa0break"]},
    932: {"encoding": "cp932", "locale": "ja_JP.UTF-8",
          "separators": ["\u3000"], "quotings": ["\u201c{p}\u201d", "\uff02{p}\uff02"],
          "images": ["C:\\dt\\\u30bd\u30d5\u30c8\\x.exe", "C:\\dt\\\u8868.exe", "C:\\dt\\\u8868 \u793a\\y.exe"],
          "programs": ["C:\\dt\\\u30bd\u30d5\u30c8\\x.exe", "C:\\dt\\\u30bd\u30d5\u30c8\\x",
                       "C:\\dt\\\u8868 \u793a\\y.exe", "C:\\dt\\\u8868\u3000\u793a\\y.exe",
                       "\u30bd\u30d5\u30c8.exe"]},
}

PROGRAMS = [
    # bare names, from the service's folder
    "tool", "tool.exe", "TOOL.EXE", "nope", "my tool.exe", "setup", "job.bat", "readme.txt",
    "#", "rem", "sub\\x.exe", "sub\\x", "sub/x.exe", "rel\\y.exe", "c:rel\\y.exe",
    # full, rooted and relative paths
    "C:\\dt\\tools\\a.exe", "C:\\dt\\tools\\a", "C:\\dt\\tools\\A.EXE", "C:\\dt\\tools\\lib.dll",
    "C:\\dt\\prog ram\\x.exe", "C:\\dt\\prog ram\\x", "C:\\dt\\a b\\c d.exe", "C:\\dt\\a b\\c d",
    "C:\\dt\\noext", "C:\\dt\\run.bat", "C:\\dt\\run", "C:\\dt\\run.cmd", "C:\\dt\\doc.txt",
    "C:\\dt\\sc ript.ps1", "C:\\dt\\folder.exe", "C:\\dt\\missing.exe", "\\dt\\tools\\a.exe",
    "C:/dt/tools/a.exe", "C:dt\\tools\\a.exe", "%SystemRoot%\\system32\\cmd.exe",
    "C:\\Program Files\\x.exe", "C:\\dt\\tools\\setup", "C:\\dt\\tools\\",
    "C:\\dt\\hi jack\\x.exe", "C:\\dt\\hi jack\\x",
    # devices, with and without an extension, in any folder
    "aux", "AUX.EXE", "com1.exe", "con", "Prn", "C:\\dt\\nul.exe",
    # from the current directory alone
    ".\\dot.exe", ".\\tool.exe", ".\\rel\\y.exe",
]
QUOTINGS = ["{p}", "{p}", "{p}", '"{p}"', '"{p}', '{p}"', '""{p}', '"{p}"x']
LEADS = ["", "", "", "", " ", "  ", "\t"]
SEPARATORS = [" ", " ", " ", "\t", "  ", " \t"]
ARGUMENTS = ["", "/x", "/S /Q", "C:\\dt\\data", "C:\\dt\\data\\file.txt", "\\\\nas\\share /MIR",
             '"quoted arg"', "a b c", "&& C:\\dt\\tools\\b.exe", "> C:\\dt\\out.log 2>&1",
             "| more", "%TEMP%", "x.exe", "-v", "ram\\x.exe", "b\\c d.exe"]
INSTALLER_LINES = ["msiexec.exe /p fix.msp /qn /norestart", "  msiexec.exe /p fix.msp",
                   "tool.exe /log msiexec.exe.txt", "C:\\dt\\msiexec.exe /p fix.msp"]
WHOLE_LINES = ["", "   ", "\t", "# Nightly jobs", ":: note", "rem note"]


def layout(seed, code_page):
    """The service's folder, and the files and folders there are, by the seed:
    (path, kind) with kind "image", "text" or "folder"."""
    pick = random.Random(seed)
    service = pick.choice([SERVICE, SPACED_SERVICE])
    entries = []
    images = IMAGES + CODE_PAGES[code_page]["images"]
    for path in images + [p for p in MAYBE_IMAGES if pick.random() < 0.5]:
        entries.append((path, "image"))
    entries += [(path, "text") for path in OTHER_FILES]
    entries += [(path, "folder") for path in FOLDERS]
    filled = []
    for path, kind in entries:
        path = path.replace("{service}", service)
        if "{current}" in path:
            filled.append((path.replace("{current}", SYSTEM), kind))
            filled.append((path.replace("{current}", WINE_CURRENT), kind))
        else:
            filled.append((path, kind))
    return service, filled


def lines(seed, count, code_page):
    """count lines, each of the classes above, by the seed."""
    pick = random.Random(seed * 7919 + code_page)
    own = CODE_PAGES[code_page]
    programs = PROGRAMS + own["programs"]
    quotings = QUOTINGS + own["quotings"]
    separators = SEPARATORS + own["separators"]
    made = []
    for _ in range(count):
        roll = pick.random()
        if roll < 0.04:
            made.append(pick.choice(INSTALLER_LINES))
            continue
        if roll < 0.08:
            made.append(pick.choice(WHOLE_LINES))
            continue
        program = pick.choice(quotings).format(p=pick.choice(programs))
        arguments = pick.choice(ARGUMENTS)
        line = pick.choice(LEADS) + program
        if arguments:
            line += pick.choice(separators) + arguments
        made.append(line)
    return made


def as_windows_starts(path):
    """The file Wine started, as Windows names it: a slash is a backslash, and
    a start from Wine's current directory is one from the system directory,
    where Windows finds the same name."""
    lowered = path.lower().replace("/", "\\")
    prefix = WINE_CURRENT.lower() + "\\"
    if lowered.startswith(prefix) and not lowered.startswith(SYSTEM.lower() + "\\"):
        return SYSTEM.lower() + "\\" + lowered[len(prefix):]
    return lowered


def wine_tries_bare_names(says, did):
    """Wine starts a file with no extension by the name as written, before or
    without the .exe rule; Windows adds .exe and tries only that name. So
    where Wine started such a file, Windows starts the same name with .exe,
    if there is one."""
    last = did.rsplit("\\", 1)[-1]
    return bool(did) and "." not in last and says in ("", did + ".exe")

"""starter-check as a program: its options, exit codes, text and JSON, and the docs that show them.

Usage: starter_check_test.py --tool PATH
"""
import argparse
import ast
import json
import os
import re
import subprocess
import sys
import tempfile
import textwrap
import uuid
import unittest

TOOL = None


def run(list_bytes, *options, name="Starter.dat"):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(list_bytes)
        done = subprocess.run([TOOL, *options, path], capture_output=True, timeout=30)
        return done, path


def report(list_bytes, *options):
    done, _ = run(list_bytes, "--json", *options)
    return done.returncode, json.loads(done.stdout.decode("ascii"))


def bytes_of(text):
    return text.encode("latin-1")


class Text(unittest.TestCase):
    def test_ignore_accepts_judged_findings(self):
        line = b"C:\\Program Files\\X\\setup.exe /s\nsub\\a.exe"
        for options, status in ((["--ignore", "unquoted-spaces"], 1),
                                (["--ignore=unquoted-spaces,relative-path"], 0)):
            with self.subTest(options=options):
                self.assertEqual(report(line, *options)[0], status)

    def test_text_output(self):
        done, path = run(b"Setup.exe /S\nC:\\Program Files\\X\\setup.exe /s")
        self.assertEqual(done.returncode, 1)
        header = (f"List {path}, as the service C:\\ProgramData\\CorvaneRemoteStarter\\Starter.exe"
                  " reads C:\\ProgramData\\CorvaneRemoteStarter\\Starter.dat")
        self.assertEqual(done.stdout.decode("ascii"), (
            "\n".join(textwrap.wrap(header, 100, subsequent_indent="    ",
                                    break_long_words=False, break_on_hyphens=False)) + "\n"
            "System directory C:\\WINDOWS\\system32, code page 1252 (treated as having no lead"
            " bytes)\n"
            "Programs, folders and patch files not looked for: only starter-check.exe on the"
            " target can\n"
            "\n"
            "line 1: bare program\n"
            "  read:      [Setup.exe /S]\n"
            "  command:   [\"C:\\ProgramData\\CorvaneRemoteStarter\\setup.exe\" /s]\n"
            "  directory: [C:\\ProgramData\\CorvaneRemoteStarter]\n"
            "  note lowered: the service lowers the upper-case letters of the arguments: most"
            " options do not\n      mind, but an argument whose case matters, such as an encoded"
            " command, a password or a URL,\n      reaches the program changed\n"
            "\n"
            "line 2: program with path\n"
            "  read:      [C:\\Program Files\\X\\setup.exe /s]\n"
            "  command:   [c:\\program files\\x\\setup.exe /s]\n"
            "  directory: [c:]\n"
            "  warning unquoted-spaces: the program path has spaces and no quotes: Windows tries"
            " c:\\program.exe\n      first and starts a different program than"
            " c:\\program files\\x\\setup.exe if one exists (CWE-428)\n"
            "  note lowered: the service lowers the upper-case letters of the arguments: most"
            " options do not\n      mind, but an argument whose case matters, such as an encoded"
            " command, a password or a URL,\n      reaches the program changed\n"
            "\n"
            "2 line(s) read and composed: 0 error(s), 1 warning(s), 2 note(s)\n"))

    def test_text_shows_every_byte(self):
        done, _ = run(b"a<\tb\x83\x5c\r /x\0\n", "--code-page", "932", name="\x1b.dat")
        out = done.stdout.decode("ascii")
        self.assertIn("  read:      [a<3C><TAB>b<83>\\<CR> /x<NUL>]\n", out)
        self.assertNotIn("\x1b", out)
        self.assertIn("<1B>.dat", out)


class Json(unittest.TestCase):
    def test_shape(self):
        status, data = report(b"C:\\Tools\\Run.exe /x\nmsiexec.exe /p f.msp\n",
                              "--exe", "D:\\Apps\\Starter.exe", "--system-dir", "C:\\Win\\Sys")
        self.assertEqual(status, 0)
        self.assertEqual(set(data), {"list", "executable", "service_list_path", "system_directory",
                                     "code_page", "double_byte", "looked_on_this_machine",
                                     "installed", "findings", "lines",
                                     "lines_never_read", "error_count", "warning_count",
                                     "note_count", "summary"})
        self.assertEqual((data["executable"], data["service_list_path"], data["system_directory"],
                          data["code_page"], data["lines_never_read"], data["warning_count"]),
                         ("D:\\Apps\\Starter.exe", "D:\\Apps\\Starter.dat", "C:\\Win\\Sys", 1252,
                          0, 0))
        self.assertEqual(data["lines"], [
            {"line": 1, "rule": "program-with-path", "read": "C:\\Tools\\Run.exe /x",
             "command": "c:\\tools\\run.exe /x", "directory": "c:\\tools", "starts": None,
             "findings": []},
            {"line": 2, "rule": "installer-patch", "read": "msiexec.exe /p f.msp",
             "command": '"C:\\Win\\Sys\\msiexec.exe" /p D:\\Apps\\f.msp', "directory": None,
             "starts": None, "findings": []},
            {"line": 3, "rule": "bare-program", "read": "", "command": '"D:\\Apps\\"',
             "directory": "D:\\Apps", "starts": None,
             "findings": [data["lines"][2]["findings"][0]]},
        ])
        self.assertEqual(data["lines"][2]["findings"][0]["code"], "empty-line")
        self.assertFalse(data["looked_on_this_machine"])

    def test_several_lists_are_json_lines(self):
        with tempfile.TemporaryDirectory() as folder:
            lists = [os.path.join(folder, name) for name in ("a.dat", "b.dat")]
            for path in lists:
                with open(path, "wb") as f:
                    f.write(b"a.exe\nb.exe")
            done = subprocess.run([TOOL, "--json", *lists], capture_output=True, timeout=30)
            self.assertEqual([json.loads(line)["list"] for line in done.stdout.splitlines()],
                             lists)

    def test_memory_does_not_grow_with_the_lines(self):
        peaks = []
        for count in (50_000, 500_000):
            with tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "Starter.dat")
                with open(path, "wb") as f:
                    f.write(b"\n" * count)
                env = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=0")
                child = subprocess.Popen([TOOL, "--json", path], stdout=subprocess.DEVNULL,
                                         env=env)
                peaks.append(os.wait4(child.pid, 0)[2].ru_maxrss)  # KiB
                child.returncode = 0
        self.assertLess(peaks[1] - peaks[0], 8 * 1024, peaks)

    def test_strings_hold_the_exact_bytes(self):
        line = b"\x83\x5c\x83\x74.exe \"q\" \\ \x1b\x7f\xff"
        for code_page, rule in (("932", "bare-program"), ("1252", "program-with-path")):
            with self.subTest(code_page=code_page):
                _, data = report(line, "--code-page", code_page)
                self.assertEqual(bytes_of(data["lines"][0]["read"]), line)
                self.assertEqual(data["lines"][0]["rule"], rule)


class Usage(unittest.TestCase):
    def test_errors_exit_2_with_a_message(self):
        with tempfile.TemporaryDirectory() as folder:
            cases = [
                ([], "no list given"),
                (["--code-page", "70000", "x.dat"], "unknown code page 70000"),
                (["--frobnicate", "x.dat"], "unknown option --frobnicate"),
                (["x.dat", "--exe"], "--exe needs a value"),
                (["/no/such/folder/x.dat"], "cannot open /no/such/folder/x.dat"),
                ([folder], f"cannot read {folder}: it is a directory"),
                (["--ignore", "unqouted-spaces", "x.dat"], "--ignore: no finding has the code "
                                                           "unqouted-spaces"),
                (["--exe", "C:\\Svc/starter.exe", "x.dat"], "--exe needs a full Windows path"),
                (["--system-dir", "system32", "x.dat"], "--system-dir needs a full Windows path"),
                (["--system-dir", "C:\\Windows\\", "x.dat"], "--system-dir needs"),
                (["--system-dir", "C:/Windows/System32", "x.dat"], "--system-dir needs"),
                (["--exe", "starter.exe", "x.dat"], "--exe needs a full Windows path"),
                (["--exe", "C:/Svc/starter.exe", "x.dat"], "--exe needs a full Windows path"),
                (["--exe", "", "x.dat"], "--exe needs a full Windows path"),
                (["--exe", "C:\\" + "x" * 320, "x.dat"], "--exe needs a full Windows path"),
                (["--exe", "--json", "x.dat"], "--exe needs a full Windows path"),
                (["--exe", "C:\\\x1b.exe", "x.dat"], "--exe needs a full Windows path"),
                (["--fail-on", "errors", "x.dat"], "--fail-on takes warning, error or installation, not errors"),
                (["--fail-on=", "x.dat"], "--fail-on takes warning, error or installation"),
                (["--code-page", "0", "x.dat"], "unknown code page 0"),
                (["--code-page", "65536", "x.dat"], "unknown code page 65536"),
                (["--code-page", "123456", "x.dat"], "unknown code page 123456"),
                (["--code-page", "12a", "x.dat"], "unknown code page 12a"),
                (["--code-page=", "x.dat"], "unknown code page"),
                (["--json=yes", "x.dat"], "--json takes no value"),
                (["--purge"], "--purge, --update and --with-list need --service-folder"),
                (["--service-folder", "C:\\ProgramData\\X", "x.dat"],
                 "--service-folder, --source-folder and --installed judge no list"),
                (["--service-folder", "C:\\ProgramData\\X", "--purge", "--with-list", "x.dat"],
                 "--with-list is for an installation, not --purge"),
                (["--installed", "--source-folder", "C:\\Release"],
                 "--service-folder, --source-folder and --installed each judge one thing"),
                (["--installed"], "--installed reads this machine's registration"),
                (["--dry-run", "--service-folder", "C:\\ProgramData\\X"],
                 "--dry-run checks lists for another machine"),
            ]
            for arguments, message in cases:
                with self.subTest(arguments=arguments):
                    done = subprocess.run([TOOL, *arguments], capture_output=True, timeout=30)
                    self.assertEqual(done.returncode, 2)
                    # One line names the problem; a usage error adds one pointing to --help.
                    error = done.stderr.decode().splitlines()
                    self.assertIn("starter-check: " + message, error[0])
                    self.assertIn(len(error), (1, 2) if message.startswith("cannot") else (2,))
                    self.assertNotIn("\x1b", done.stderr.decode())
                    self.assertEqual(done.stdout, b"")

    def test_options_and_lists(self):
        with tempfile.TemporaryDirectory() as folder:
            good, bad = os.path.join(folder, "good.dat"), os.path.join(folder, "-x.dat")
            with open(good, "wb") as f:
                f.write(b"a.exe\nb.exe\n")
            with open(bad, "wb") as f:
                f.write(b" a.exe")
            cases = [  # arguments, standard input, exit status, words in the output
                (["--exe=D:\\A\\good.exe", good], b"", 0, "reads D:\\A\\good.dat"),
                (["--exe", "\\\\srv\\share\\x.exe", good], b"", 1, "wrong-list"),
                (["--exe", "C:\\Svc\\GOOD.exe", good], b"", 0, "reads C:\\Svc\\GOOD.dat"),
                (["--system-dir", "\\\\srv\\share", good], b"", 0, "System directory \\\\srv"),
                (["--", bad], b"", 1, "no-program"),
                (["-"], b"a.exe\nb.exe\nc.exe\n", 0, "4 line(s)"),
                ([good, "--", bad], b"", 1, "List " + bad),
                (["--code-page", "437", good], b"", 0, "437 (treated as having no lead bytes)"),
                (["--code-page=65535", good], b"", 0, "code page 65535"),
                (["--code-page", "932", good], b"", 0, "code page 932\n"),
                (["--dry-run", "--code-page", "932", good], b"", 0, "code page 932\n"),
                (["--dry-run", good], b"", 0, "CorvaneRemoteStarter\\good.exe reads"),
                (["--fail-on=error", "--", bad], b"", 1, "no-program"),
                (["--fail-on", "error", "-"], b"cmd /c x\n", 0, "system-program"),
                (["--fail-on", "warning", "-"], b"cmd /c x\n", 1, "system-program"),
                (["-"], b"cmd /c x\n", 1, "system-program"),
                ([bad, os.path.join(folder, "none.dat"), good], b"", 2, "List " + good),
                # The folder rule: its verdict and why, on standard output.
                (["--service-folder", "C:\\Users\\Public"], b"", 1,
                 'refusing "C:\\Users\\Public": it lies in the Users folder'),
                (["--service-folder=C:\\ProgramData\\X\\"], b"", 0, "may serve as the service's"),
                (["--service-folder", "C:\\ProgramData", "--purge"], b"", 1,
                 'keeping "C:\\ProgramData"'),
                (["--service-folder", "C:\\ProgramData\\X", "--with-list", good], b"", 0,
                 "may serve"),
                (["--service-folder", "C:\\ProgramData\\X", "--with-list", folder], b"", 1,
                 "refusing the list"),
                (["--version"], b"", 0, "starter-check 1.0.0"),
                (["--help"], b"", 0, "side-by-side-installers  error"),
            ]
            for arguments, stdin, status, words in cases:
                with self.subTest(arguments=arguments):
                    done = subprocess.run([TOOL, *arguments], input=stdin, capture_output=True,
                                          timeout=30)
                    self.assertEqual(done.returncode, status, done.stderr)
                    self.assertIn(words, done.stdout.decode())
                    if arguments == ["--help"]:  # each column starts where the others do
                        rows = done.stdout.decode().split("Findings:\n")[1].splitlines()
                        spans = {re.match(r"  \S+ +(error|warning|note) +", row).span(1)[0]
                                 for row in rows} | {len(re.match(r"  \S+ +\S+ +", row)[0])
                                                     for row in rows}
                        self.assertEqual(len(spans), 2, rows)

    def test_a_list_too_large_for_memory_is_an_io_error(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "Starter.dat")
            with open(path, "wb") as f:
                f.truncate(1 << 41)  # sparse: more than any machine can hold
            done = subprocess.run([TOOL, path], capture_output=True, timeout=30)
            if b"AddressSanitizer" in done.stderr:
                self.skipTest("AddressSanitizer ends the process where new would throw")
            self.assertEqual((done.returncode, done.stderr.decode()),
                             (2, f"starter-check: cannot read {path}: it is too large to hold in"
                                 " memory\n"))

    def test_job_identity_is_the_hash_of_its_record(self):
        """The record names the list, then each file it names without a path
        that lies beside it, found as Windows finds names, with its SHA-256."""
        import hashlib
        with tempfile.TemporaryDirectory() as folder:
            files = {"x.dat": b"msiexec.exe /p Fix.MSP /qn\r\nTool.exe\r\nGone.exe\r\n",
                     "fix.msp": b"a patch", "TOOL.EXE": b"MZ a program", "other.txt": b"no"}
            for name, data in files.items():
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            record = "Corvane Remote Starter job 1\r\n" + "".join(
                f"{hashlib.sha256(files[source]).hexdigest()} {name}\r\n"
                for name, source in (("starter.dat", "x.dat"), ("fix.msp", "fix.msp"),
                                     ("tool.exe", "TOOL.EXE")))
            done = subprocess.run([TOOL, "--job-identity", os.path.join(folder, "x.dat")],
                                  capture_output=True, text=True)
        self.assertEqual((done.returncode, done.stdout),
                         (0, hashlib.sha256(record.encode()).hexdigest() + "\n"))

    def test_default_executable_follows_the_list_name(self):
        # A name the service never reads is reported: its executable reads another.
        for name, executable, wrong in (("Nightly.dat", "Nightly.exe", False),
                                        ("NIGHTLY.DAT", "NIGHTLY.exe", False),
                                        ("nightly.txt", "nightly.txt.exe", True),
                                        ("starter.exe.dat", "starter.exe.exe", True)):
            with self.subTest(name=name):
                done, _ = run(b"a.exe", "--json", name=name)
                data = json.loads(done.stdout)
                self.assertEqual(data["executable"], "C:\\ProgramData\\CorvaneRemoteStarter\\" + executable)
                self.assertEqual(data["system_directory"], "C:\\WINDOWS\\system32")
                self.assertEqual([f["code"] for f in data["findings"]], ["wrong-list"] * wrong)
                self.assertEqual(done.returncode, int(wrong))


class Docs(unittest.TestCase):
    """The operators' pages say what the tools print."""
    SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")

    def page(self, name):
        with open(os.path.join(self.SOURCE, "docs", name), encoding="utf-8") as f:
            return f.read()

    def finding_rows(self):
        with open(os.path.join(self.SOURCE, "check", "findings.inc"), encoding="utf-8") as f:
            source = f.read()
        text = r'((?:"(?:[^"\\]|\\.)*"\s*)+)'
        rows = re.findall(r"^FINDING\(k\w+, " + text + r", k(\w+),\s*" + ",\\s*".join([text] * 3) + r"\)",
                          source, re.M)
        self.assertGreater(len(rows), 40)
        # Adjacent C string literals with \" and \\ read as Python's do.
        read = lambda text: ast.literal_eval("(" + text.strip() + ")")
        return [(read(name), level.lower(), read(help), read(when), read(why))
                for name, level, help, when, why in rows]

    def test_usage_and_findings_are_the_tools(self):
        out = subprocess.run([TOOL, "--help"], capture_output=True, text=True).stdout
        usage, findings = out.split("\nFindings:\n")
        page = self.page("starter-check.md")
        self.assertIn("```\n" + usage + "```\n", page)
        # --help and the page's table both come from the rows of findings.inc.
        rows = self.finding_rows()
        self.assertEqual(re.findall(r"^  (\S+) +(error|warning|note) +(.*)$", findings, re.M),
                         [(name, level, help) for name, level, help, _, _ in rows])
        self.assertEqual(re.findall(r"^\| `([a-z0-9-]+)` \| (error|warning|note) \| (.*) \| (.*) \|$",
                                    page, re.M),
                         [(name, level, when, why) for name, level, _, when, why in rows])
        known = [(name, level) for name, level, _, _, _ in rows]
        # A hyphenated name in backticks on a page that names codes is a code.
        codes = {code for code, _ in known} | {"starter-check"}
        for name in ("starter-check.md", "troubleshooting.md"):
            named = set(re.findall(r"`([a-z0-9]+(?:-[a-z0-9]+)+)`", self.page(name)))
            self.assertLessEqual(named, codes, name)

    def test_the_example_is_what_it_prints(self):
        command = ("$ starter-check --exe 'C:\\ProgramData\\CorvaneRemoteStarter\\Nightly.exe'"
                   " Nightly.dat\n")
        shown = self.page("starter-check.md").split("```\n" + command, 1)[1].split("```", 1)[0]
        reads = re.findall(r"^  read:      \[(.*)\]$", shown, re.M)
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "Nightly.dat"), "w") as f:
                f.write("".join(line + "\n" for line in reads[:-1]))
            done = subprocess.run([TOOL, "--exe", "C:\\ProgramData\\CorvaneRemoteStarter\\Nightly.exe",
                                   "Nightly.dat"],
                                  cwd=folder, capture_output=True, text=True)
        self.assertEqual(done.stdout, shown)

    def test_the_scripts_usage(self):
        page = self.page("install.md")
        for script in ("install.cmd", "uninstall.cmd"):
            with open(os.path.join(self.SOURCE, "release", script)) as f:
                text = f.read()
            echoes = text.split("\n:usage\n", 1)[1].split("\nexit /b", 1)[0].splitlines()
            usage = "".join(line[len("echo "):].replace("^|", "|").replace("%%", "%") + "\n"
                            for line in echoes)
            self.assertIn("```\n" + usage + "```\n", page, script)
            # Each option is explained, not only listed.
            prose = page.replace(usage, "")
            for option in re.findall(r"(?<![\w%])/[a-z]+\b", usage):
                self.assertTrue(f"`{option}`" in prose, f"{script} {option} is not explained")


    def test_the_guide_names_what_exists(self):
        """Versions and product codes are the build's, the tests it cites exist,
        its example folders pass the folder rule, and README.txt fits Notepad."""
        names = sorted(os.listdir(os.path.join(self.SOURCE, "docs")))
        pages = {name: self.page(name) for name in names}
        with open(os.path.join(self.SOURCE, "README.md"), encoding="utf-8") as f:
            pages["README.md"] = f.read()
        upgrade = uuid.UUID("6f1c2e0a-3b5d-5e8f-9a1c-7d4e2b6f8a30")
        codes = {str(upgrade).upper()} | {str(uuid.uuid5(upgrade, f"product {VERSION} {arch}"))
                                          .upper() for arch in ("x86", "x64")}
        known = self.known_tests()
        for name, text in pages.items():
            self.assertLessEqual(set(re.findall(r"(?<![\d.])\d+\.\d+\.\d+(?![\d.])", text)),
                                 {VERSION}, name)
            self.assertLessEqual({g.upper() for g in re.findall(r"\{([0-9A-Fa-f-]{36})\}", text)},
                                 codes, name)
            cited = re.findall(r"`(e2e\.[a-z_0-9]+|starter_check\.[a-z_]+|"
                               r"[A-Z][a-z]\w*\.(?:test_\w+|[A-Z][a-z]\w*))`", text)
            self.assertLessEqual(set(cited), known, name)
        # Where the operators' pages install, or stage a list, the folder rule agrees.
        operators = ("install.md", "launch-list.md", "starter-check.md", "fleet.md",
                     "troubleshooting.md", "README.md")
        for name in operators:
            code = "\n".join(re.findall(r"```[a-z]*\n(.*?)```", pages[name], re.S))
            code = code.replace("%ProgramData%", "C:\\ProgramData")
            folders = re.findall(r'(?:install\.cmd|--service-folder) "?([A-Z]:\\[^"\n]*?)"?(?: /|$)',
                                 code, re.M)
            folders += [path.rsplit("\\", 1)[0] for path in
                        re.findall(r'(?:LISTFILE=|dest: |path: )"?([A-Z]:\\[^"\n]*)', code)]
            for folder in folders:
                done = subprocess.run([TOOL, "--service-folder", folder.rstrip("\\")],
                                      capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, f"{name}: {done.stdout}")
        sys.path.insert(0, os.path.join(self.SOURCE, "cmake"))
        import readme_txt
        for name in readme_txt.PAGES:
            long = [line for line in readme_txt.render(self.page(name + ".md")).split("\n")
                    if len(line) > readme_txt.WIDTH]
            self.assertEqual(long, [], name)

    def test_installer_lines_log_and_detection_reads_the_job(self):
        """Every msiexec line that installs or removes writes its log, and the
        fleet page names the registry value the installation writes."""
        pages = [self.page(name) for name in sorted(os.listdir(os.path.join(self.SOURCE, "docs")))]
        with open(os.path.join(self.SOURCE, "README.md"), encoding="utf-8") as f:
            pages.append(f.read())
        for text in pages:
            # A command is one line of a code block, with cmd's ^
            # continuations and YAML's folded ">-" lines joined.
            code = "\n".join(re.findall(r"```[a-z]*\n(.*?)```", text, re.S))
            commands = []
            folded = None
            for line in re.sub(r"\^\n\s*", " ", code).splitlines():
                indent = len(line) - len(line.lstrip())
                if folded is not None and indent > folded and line.strip():
                    commands[-1] += " " + line.strip()
                    continue
                folded = indent if line.rstrip().endswith(">-") else None
                commands.append(line)
            for command in commands:
                if re.search(r"msiexec(\.exe)?\s.*/[ix]\b", command, re.I):
                    self.assertIn("/l*v", command, command)
        with open(os.path.join(self.SOURCE, "install", "installation.h"), encoding="utf-8") as f:
            header = f.read()
        key = re.search(r'kSettingsKey\[\] = "SOFTWARE\\\\(.*)";', header).group(1).replace("\\\\", "\\")
        value = re.search(r'kJobValue\[\] = "(\w+)";', header).group(1)
        fleet = self.page("fleet.md")
        self.assertIn(f"`{value}` of `HKLM\\SOFTWARE\\WOW6432Node\\{key.split(chr(92))[0]}", fleet)
        self.assertIn(f"HKLM:\\SOFTWARE\\WOW6432Node\\{key}", fleet)

    def known_tests(self):
        """Every test there is, by the name the docs give it."""
        known = set()
        for folder, _, files in os.walk(self.SOURCE):
            if "/build" in folder or "/.git" in folder:
                continue
            for file in files:
                with open(os.path.join(folder, file), errors="replace") as f:
                    text = f.read() if file.endswith((".cpp", ".py", ".txt")) else ""
                known |= {f"{a}.{b}" for a, b in re.findall(r"^TEST\((\w+), (\w+)\)", text, re.M)}
                known |= {f"e2e.{n}" for n in re.findall(r"@scenario\ndef (\w+)", text)}
                known |= set(re.findall(r"add_test\(NAME ([\w.]+)", text))
                for cls, body in re.findall(r"^class (\w+)\(unittest\.TestCase\):(.*?)(?=^\S)",
                                            text, re.M | re.S):
                    known |= {f"{cls}.{m}" for m in re.findall(r"^    def (test_\w+)", body, re.M)}
        return known


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--version", required=True, help="the version the docs must give")
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    VERSION = args.version
    unittest.main(argv=[sys.argv[0], *rest])

"""starter-check as a program: its options, exit codes, text and JSON.

Usage: starter_check_test.py --tool PATH
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import textwrap
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


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    unittest.main(argv=[sys.argv[0], *rest])

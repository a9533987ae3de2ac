"""starter-check's warnings, exit codes, text and JSON, run on real files.

Usage: starter_check_test.py --tool PATH
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
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


# Each warning: the list, the line it belongs to, its code, and words its
# message must hold.
WARNINGS = [
    (b"\xef\xbb\xbfa.exe", 1, "byte-order-mark", "byte-order mark"),
    (b"a.exe\nb.exe\0 /x", 2, "nul-byte", "column 6"),
    (b"a\rb.exe /x", 1, "lone-cr", "column 2"),
    (b"a.exe\n" + b"x" * 560 + b"\nb.exe\nc.exe\n" + b"y" * 600 + b"\nd.exe", 2, "line-too-long",
     "so 4 more line(s)"),
    (b"a.exe\n\nb.exe", 2, "empty-line", "a blank line"),
    (b"a.exe\n", 2, "empty-line", "after the last line end"),
    (b" a.exe /x", 1, "no-program", "begins with a space"),
    (b"tool.exe /log msiexec.exe.txt /p x.msp", 1, "msiexec-not-first", "tool.exe, is not started"),
    (b"msiexec.exe /i pkg.msi", 1, "no-patch-option", '" /p "'),
    (b"msiexec.exe /p C:\\Patches\\Fix.msp", 1, "absolute-patch", "C:\\Svc\\c:\\patches\\fix.msp"),
    (b"msiexec.exe /p \\\\server\\fix.msp", 1, "absolute-patch", None),
    (b'"C:\\Program Files\\X\\setup.exe"/s', 1, "quoted-space", '"c:\\program'),
    (b"C:\\Program Files\\X\\setup.exe /s", 1, "unquoted-spaces", "CWE-428"),
    (b"a.exe " + b"x" * 300, 1, "command-cut", "259"),
    (b"a.exe\nb.exe\x1ac.exe\n", 2, "ctrl-z", "the 6 byte(s) after it"),
]

# Lines that look close to a warning but are fine.
CLEAN = [
    b"Setup.exe /S\nC:\\Tools\\Report.exe /Daily\nmsiexec.exe /p Hotfix.msp /qn",
    b"c:\\tools\\msiexec.exe /p fix.msp",
    b'"c:\\tools\\setup.exe" /s',
    b'"C:\\Program Files\\X\\setup.exe" /s\n"setup.exe" /s\nmsiexec.exe /p "x y.msp"',
    b"a.exe " + b"x" * 200,
    b"a.exe\r\nb.exe\x1a",
    b"setup.exe c:\\program files\\x.exe",
    b"msiexec.exe /p a.msp\r\n\xef\xbb\xbfx",
]


class Warnings(unittest.TestCase):
    def test_each_warning_has_its_line_code_and_text(self):
        for list_bytes, line, code, words in WARNINGS:
            with self.subTest(code=code, list=list_bytes[:40]):
                status, data = report(list_bytes)
                self.assertEqual(status, 1)
                found = [w for w in data["lines"][line - 1]["warnings"] if w["code"] == code]
                self.assertEqual(len(found), 1, data["lines"])
                if words:
                    self.assertIn(words, found[0]["message"])
                others = [l["line"] for l in data["lines"] if l["line"] != line and
                          any(w["code"] == code for w in l["warnings"])]
                self.assertEqual(others, [], "warned on other lines too")

    def test_clean_lists_exit_0(self):
        for list_bytes in CLEAN:
            with self.subTest(list=list_bytes[:40]):
                status, data = report(list_bytes)
                self.assertEqual([w for l in data["lines"] for w in l["warnings"]], [])
                self.assertEqual((status, data["warning_count"]), (0, 0))

    def test_text_output(self):
        done, path = run(b"Setup.exe /S\nC:\\Program Files\\X\\setup.exe /s")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout.decode("ascii"), (
            f"List {path}, as the service C:\\Svc\\Starter.exe reads C:\\Svc\\Starter.dat\n"
            "System directory C:\\WINDOWS\\system32, code page 1252\n"
            "\n"
            "line 1: bare program\n"
            "  read:      [Setup.exe /S]\n"
            "  command:   [\"C:\\Svc\\setup.exe\" /s]\n"
            "  directory: [C:\\Svc]\n"
            "\n"
            "line 2: program with path\n"
            "  read:      [C:\\Program Files\\X\\setup.exe /s]\n"
            "  command:   [c:\\program files\\x\\setup.exe /s]\n"
            "  directory: [c:]\n"
            "  warning unquoted-spaces: the program path has spaces and no quotes: Windows tries"
            " c:\\program first and may start a different program than"
            " c:\\program files\\x\\setup.exe (CWE-428)\n"
            "\n"
            "2 line(s) read and composed, 1 warning(s)\n"))

    def test_text_shows_every_byte(self):
        done, _ = run(b"a<\tb\x83\x5c\r /x\0\n", "--code-page", "932")
        self.assertIn("  read:      [a<3C><TAB>b<83>\\<CR> /x<NUL>]\n", done.stdout.decode("ascii"))


class Json(unittest.TestCase):
    def test_shape(self):
        status, data = report(b"C:\\Tools\\Run.exe /x\nmsiexec.exe /p f.msp\n",
                              "--exe", "D:\\Apps\\Starter.exe", "--system-dir", "C:\\Win\\Sys")
        self.assertEqual(status, 1)
        self.assertEqual(set(data), {"list", "executable", "service_list_path", "system_directory",
                                     "code_page", "lines", "lines_never_read", "warning_count",
                                     "summary"})
        self.assertEqual((data["executable"], data["service_list_path"], data["system_directory"],
                          data["code_page"], data["lines_never_read"], data["warning_count"]),
                         ("D:\\Apps\\Starter.exe", "D:\\Apps\\Starter.dat", "C:\\Win\\Sys", 1252,
                          0, 1))
        self.assertEqual(data["lines"], [
            {"line": 1, "rule": "program-with-path", "read": "C:\\Tools\\Run.exe /x",
             "command": "c:\\tools\\run.exe /x", "directory": "c:\\tools", "warnings": []},
            {"line": 2, "rule": "installer-patch", "read": "msiexec.exe /p f.msp",
             "command": '"C:\\Win\\Sys\\msiexec.exe" /p D:\\Apps\\f.msp', "directory": None,
             "warnings": []},
            {"line": 3, "rule": "bare-program", "read": "", "command": '"D:\\Apps\\"',
             "directory": "D:\\Apps", "warnings": [data["lines"][2]["warnings"][0]]},
        ])
        self.assertEqual(data["lines"][2]["warnings"][0]["code"], "empty-line")

    def test_strings_hold_the_exact_bytes(self):
        line = b"\x83\x5c\x83\x74.exe \"q\" \\ \x1b\x7f\xff"
        for code_page, rule in (("932", "bare-program"), ("1252", "program-with-path")):
            with self.subTest(code_page=code_page):
                _, data = report(line, "--code-page", code_page)
                self.assertEqual(bytes_of(data["lines"][0]["read"]), line)
                self.assertEqual(data["lines"][0]["rule"], rule)


class Usage(unittest.TestCase):
    def test_errors_exit_2_with_a_message(self):
        cases = [
            ([], "no list given"),
            (["--code-page", "437", "x.dat"], "unknown code page 437"),
            (["--frobnicate", "x.dat"], "unknown option --frobnicate"),
            (["a.dat", "b.dat"], "one list at a time"),
            (["x.dat", "--exe"], "--exe needs a value"),
            (["/no/such/folder/x.dat"], "cannot open /no/such/folder/x.dat"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                done = subprocess.run([TOOL, *arguments], capture_output=True, timeout=30)
                self.assertEqual(done.returncode, 2)
                self.assertIn("starter-check: " + message, done.stderr.decode())
                self.assertEqual(done.stdout, b"")

    def test_default_executable_follows_the_list_name(self):
        for name, executable in (("Nightly.dat", "Nightly.exe"), ("NIGHTLY.DAT", "NIGHTLY.exe"),
                                 ("nightly.txt", "nightly.txt.exe")):
            with self.subTest(name=name):
                done, _ = run(b"a.exe", "--json", name=name)
                data = json.loads(done.stdout)
                self.assertEqual(data["executable"], "C:\\Svc\\" + executable)
                self.assertEqual(data["system_directory"], "C:\\WINDOWS\\system32")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    unittest.main(argv=[sys.argv[0], *rest])

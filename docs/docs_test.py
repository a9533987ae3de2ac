"""The docs hold to what the tools print and what the build is: starter-check's
usage and findings, the scripts' usage, versions and codes, the tests they
cite, the folders they install into, and the installer's lines.

Usage: docs_test.py --tool PATH --version X.Y.Z
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import uuid
import unittest

import findings_table

TOOL = None
VERSION = None


class Docs(unittest.TestCase):
    """The operators' pages say what the tools print."""
    SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")

    def page(self, name):
        with open(os.path.join(self.SOURCE, "docs", name), encoding="utf-8") as f:
            return f.read()


    def test_usage_and_findings_are_the_tools(self):
        out = subprocess.run([TOOL, "--help"], capture_output=True, text=True).stdout
        usage, findings = out.split("\nFindings:\n")
        page = self.page("starter-check.md")
        self.assertIn("```\n" + usage + "```\n", page)
        # --help and the page's table are both made from the rows of findings.inc:
        # the table by findings_table.py, which writes it into the page.
        rows = findings_table.rows()
        self.assertGreater(len(rows), 40)
        self.assertEqual(re.findall(r"^  (\S+) +(error|warning|note) +(.*)$", findings, re.M),
                         [(name, level, help) for name, level, help, _, _ in rows])
        self.assertEqual(findings_table.page_with_table(page), page,
                         "the findings table is not findings.inc's: run docs/findings_table.py")
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
    parser.add_argument("--tool", required=True, help="starter-check, built for this machine")
    parser.add_argument("--version", required=True, help="the version the docs must give")
    args, rest = parser.parse_known_args()
    TOOL = os.path.abspath(args.tool)
    VERSION = args.version
    unittest.main(argv=[sys.argv[0], *rest])

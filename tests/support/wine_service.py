"""Runs the real service under Wine's service control manager and reads back
what it did: the Wine trace of the service process, and the records that the
probe program leaves beside itself.

Every run gets its own prefix in a temporary folder (a copy of the template
prefix in STARTER_WINE_TEMPLATE when there is one, else a fresh wineboot) and
ends its wineserver when it is done.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

SERVICE_NAME = "Corvane Remote Starter"
TRACE_CHANNELS = "+pid,trace+process,trace+service"
INSTALLER = "C:\\windows\\system32\\msiexec.exe"
KEEPER = "C:\\keeper\\probe.exe"
# The Wine loader and the prefix's architecture. A machine that cannot run
# 32-bit x86 code runs 64-bit builds in 64-bit prefixes: scripts/test.sh sets both.
WINE = os.environ.get("STARTER_WINE", "wine")
WINEARCH = os.environ.get("STARTER_WINEARCH", "win32")


def boot_prefix(prefix, env=None):
    env = dict(env or os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH=WINEARCH)
    subprocess.run([WINE, "wineboot", "-i"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)


class WineSession:
    """A throwaway prefix whose every Wine process writes its trace to one file.

    Every command carries the trace channels, so services.exe and the services it
    starts log their CreateProcess and SetServiceStatus calls, even when Wine
    restarts services.exe between commands."""

    def __init__(self, locale=None, channels=TRACE_CHANNELS, pipe_timeout_ms=None):
        self.work = tempfile.mkdtemp(prefix="starter-e2e-")
        self.prefix = os.path.join(self.work, "prefix")
        self.encoding = "cp932" if locale and locale.startswith("ja_JP") else "cp1252"
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG=channels, WINEARCH=WINEARCH)
        self.wow64 = False  # set by use_native_installer
        self.env.pop("DISPLAY", None)
        if locale:
            self.env["LC_ALL"] = locale
        template = os.environ.get("STARTER_WINE_TEMPLATE")
        if template:
            shutil.copytree(template, self.prefix, symlinks=True)
        else:
            boot_prefix(self.prefix, self.env)
        if pipe_timeout_ms:
            # Read once, when services.exe starts: written before any Wine process
            # runs. Wine reads it as a string; Windows has a DWORD there.
            with open(os.path.join(self.prefix, "system.reg"), "a") as registry:
                registry.write("\n[System\\\\CurrentControlSet\\\\Control] 0\n"
                               f'"ServicesPipeTimeout"="{pipe_timeout_ms}"\n')
        self.trace_path = os.path.join(self.work, "trace.log")
        self.trace_file = open(self.trace_path, "ab")
        self.background = []

    def close(self):
        """Ends every process of the prefix, the background ones first, since
        a loader still starting would bring up a new wineserver after the
        kill, and fails if any is left once the server has gone."""
        for process in self.background:
            process.kill()
            process.wait()
        self.end_server()
        left = self.processes()
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self.trace_file.close()
        shutil.rmtree(self.work, ignore_errors=True)
        if left:
            raise RuntimeError(f"Wine processes {left} of {self.prefix} outlived its wineserver")

    def end_server(self):
        subprocess.run(["wineserver", "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def host_path(self, windows_path):
        """The file behind a C: path of the prefix, as a 32-bit program in a
        64-bit prefix reaches it once use_native_installer has seen one."""
        if self.wow64 and windows_path.lower().startswith("c:\\windows\\system32\\"):
            windows_path = "C:\\windows\\syswow64\\" + windows_path[len("c:\\windows\\system32\\"):]
        drive, _, rest = windows_path.partition(":\\")
        assert drive.upper() == "C", windows_path
        return os.path.join(self.prefix, "drive_c", *rest.split("\\"))

    def put(self, windows_path, source=None, data=None):
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if source is not None:
            shutil.copyfile(source, path)
        else:
            with open(path, "wb") as out:
                out.write(data)

    def wine(self, *args, background=False, timeout=120):
        command = [WINE, *args]
        if background:
            process = subprocess.Popen(command, env=self.env, stdout=subprocess.PIPE,
                                       stderr=self.trace_file, stdin=subprocess.DEVNULL)
            self.background.append(process)
            return process
        return subprocess.run(command, env=self.env, stdout=subprocess.PIPE,
                              stderr=self.trace_file, stdin=subprocess.DEVNULL,
                              timeout=timeout)

    def keep_services_up(self, probe):
        """Wine ends services.exe once no other program runs, and a request
        that meets it on its way out is lost. A sleeping probe, with a log of
        its own, keeps it up until the session ends."""
        self.put(KEEPER, source=probe)
        self.wine(KEEPER, "sleep=86400000", background=True)

    def restart(self, probe):
        """Ends every Wine process of the prefix; installed services stay."""
        for process in self.background:
            process.kill()
            process.wait()
        self.background = []
        self.end_server()
        self.keep_services_up(probe)

    def processes(self, name=None):
        """The live Unix processes of this prefix whose program is name, or
        all of them, wineserver included."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    program = f.read().split(b"\0")[0].lower()
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environment = f.read().split(b"\0")
                with open(f"/proc/{pid}/stat", "rb") as f:
                    ended = f.read().rsplit(b")", 1)[1].split()[0] == b"Z"
            except OSError:
                continue
            if (name is None or program.endswith(b"\\" + name.encode())) and not ended and \
                    b"WINEPREFIX=" + self.prefix.encode() in environment:
                found.append(int(pid))
        return found

    def msiexec(self, *args, timeout=300):
        """Runs msiexec quietly with a verbose log and returns the log, once
        the installation has ended: Wine's msiexec returns before that."""
        log = "C:\\msiexec.log"
        path = self.host_path(log)
        if os.path.exists(path):
            os.remove(path)
        self.wine("msiexec", *args, "/qn", "/l*v", log)
        deadline = time.time() + timeout
        while self.processes("msiexec.exe") and time.time() < deadline:
            time.sleep(0.2)
        with open(path, "rb") as f:
            data = f.read()
        return data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1", "replace")

    def pause_service(self):
        """Halts the service's processes where they stand (SIGSTOP), so that a
        run stays busy with its list for as long as a test needs. All of them:
        one that is ending may still be listed. Returns their pids."""
        pids = self.processes("starter.exe")
        for pid in pids:
            os.kill(pid, signal.SIGSTOP)
        return pids

    def resume_service(self, pids):
        for pid in pids:
            try:
                os.kill(pid, signal.SIGCONT)
            except ProcessLookupError:
                pass

    def install_service(self, image_path):
        if " " in image_path:
            image_path = f'"{image_path}"'
        result = self.wine("sc", "create", SERVICE_NAME, "binpath=", image_path,
                           "type=", "own", "type=", "interact")
        assert result.returncode == 0, f"sc create failed: {result.stdout!r}"

    def use_native_installer(self, probe):
        """Puts the probe in the place of the system's msiexec.exe."""
        self.use_native(INSTALLER, probe)

    def use_native(self, program, probe):
        """Puts the probe in the place of a system program. Wine loads its own
        built-in programs from the system directory unless told not to. A
        32-bit probe in a 64-bit prefix goes where a 32-bit process's system32
        leads, syswow64, and so does the log it writes beside itself."""
        with open(probe, "rb") as f:
            header = f.read(4096)
        pe = int.from_bytes(header[0x3C:0x40], "little")
        self.wow64 = WINEARCH == "win64" and header[pe + 4:pe + 6] == b"\x4c\x01"  # i386
        path = self.host_path(program)
        if os.path.exists(path) and not os.path.exists(path + ".builtin"):
            shutil.copyfile(path, path + ".builtin")
        self.put(program, source=probe)
        self.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v",
                  program.rsplit("\\", 1)[1], "/d", "native", "/f")

    def use_builtin(self, program):
        """Undoes use_native: Wine's own program, and its placeholder, back."""
        self.wine("reg", "delete", "HKCU\\Software\\Wine\\DllOverrides", "/v",
                  program.rsplit("\\", 1)[1], "/f")
        path = self.host_path(program)
        if os.path.exists(path + ".builtin"):
            os.replace(path + ".builtin", path)

    def start_service(self):
        """Starts the service and waits for its status report. sc start itself
        fails with 1053, since the service never reports running."""
        self.wine("sc", "start", SERVICE_NAME)
        return self.wait_for_report()

    def wait_for_report(self, timeout=400):
        deadline = time.time() + timeout
        while time.time() < deadline:
            trace = self.read_trace()
            if trace.reported:
                return trace
            time.sleep(0.2)
        raise AssertionError("the service made no status report")

    def registration(self):
        """The values of the service's registry key, as reg.exe shows them;
        empty when it is not registered."""
        key = f"HKLM\\SYSTEM\\CurrentControlSet\\Services\\{SERVICE_NAME}"
        out = self.wine("reg", "query", key).stdout.decode(self.encoding, "replace")
        return dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", out, re.M))

    def query_service(self):
        out = self.wine("sc", "query", SERVICE_NAME).stdout.decode(self.encoding, "replace")
        fields = dict(re.findall(r"^\s*(\w+)\s*:\s*(\S+)", out, re.M))
        return fields

    def read_trace(self):
        self.trace_file.flush()
        with open(self.trace_path, "rb") as f:
            return ServiceTrace(f.read().decode("utf-8", "replace"))

    def icacls_calls(self):
        """The arguments of every icacls.exe run so far, as Wine's stub prints
        them with WINEDEBUG=fixme+icacls: Wine keeps no access lists."""
        return [c.replace("\\\\", "\\") for c in
                re.findall(r"fixme:icacls:main stub: \S+ (.*)", self.read_trace().text)]

    def probe_records(self, probe_path, count=0, timeout=120):
        """The records a probe left, once there are at least count of them."""
        log = self.host_path(probe_path + ".log")
        deadline = time.time() + timeout
        while True:
            records = parse_probe_log(log, self.encoding)
            if len(records) >= count or time.time() > deadline:
                return records
            time.sleep(0.2)


def parse_probe_log(path, encoding):
    try:
        with open(path, "rb") as f:
            text = f.read().decode(encoding, "replace")
    except FileNotFoundError:
        return []
    # Process ids come back once a probe has ended, so an event belongs to the
    # latest record of its pid.
    records, latest = [], {}
    pattern = re.compile(r"^pid (\d+)\ncommand line (.*)\ndirectory (.*)\n"
                         r"priority (\S+)\nconsole (\w+)\n|^pid (\d+) (.+)$", re.M)
    for match in pattern.finditer(text):
        pid, command_line, directory, priority, console, event_pid, event = match.groups()
        if pid:
            latest[pid] = {"command line": command_line, "directory": directory,
                           "priority": priority, "console": console, "events": []}
            records.append(latest[pid])
        elif event_pid in latest:
            latest[event_pid]["events"].append(event)
    return records


_ESCAPE = re.compile(r'\\(\\|"|n|r|t|[0-9a-f]{4})')


def _unescape(text):
    simple = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
    return _ESCAPE.sub(lambda m: simple.get(m.group(1)) or chr(int(m.group(1), 16)), text)


class ServiceTrace:
    """What the service process did, in order, from the Wine trace: "register",
    ("start", command line, started?) and ("report", status fields); and for
    each start, the file of the process it made, or None."""

    def __init__(self, text):
        self.text = text
        self.pid = None
        self.events = []
        self.images = []
        lines = text.splitlines()
        for line in lines:
            if "trace:service:StartServiceCtrlDispatcherA" in line:
                self.pid = line[:4]
        for line in lines:
            if self.pid is None or not line.startswith(self.pid + ":"):
                continue
            if f'RegisterServiceCtrlHandlerExW L"{SERVICE_NAME}"' in line:
                self.events.append(("register",))
            elif m := re.search(r'CreateProcessInternalW app \(null\) cmdline L"(.*)"$', line):
                self.events.append(("start", _unescape(m.group(1)), False))
                self.images.append(None)
            elif (m := re.search(r'NtCreateUserProcess L"\\\\\?\?\\\\(.*)" pid ', line)) \
                    and self.images:
                self.images[-1] = _unescape(m.group(1))
            elif "CreateProcessInternalW started process" in line and self.events:
                kind, command_line, _ = self.events[-1]
                self.events[-1] = (kind, command_line, True)
            elif m := re.search(r"trace:service:SetServiceStatus \S+ (.*)$", line):
                self.events.append(("report", m.group(1)))

    @property
    def reported(self):
        return any(e[0] == "report" for e in self.events)

    @property
    def starts(self):
        return [(e[1], e[2]) for e in self.events if e[0] == "start"]

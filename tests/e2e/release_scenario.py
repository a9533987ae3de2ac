"""The release zip, unzipped and installed by its own install.cmd as an
administrator would, run, given new jobs, updated, removed and purged, with
what its scripts refuse and keep: each step a function of its own."""

import hashlib
import json
import os
import subprocess
import threading
import time
import zipfile

from e2e_common import INSTALLER, Context, WineSession, check, expect_records, expect_run, \
    listing, run_steps, scenario, settings, wait_for_run
from wine_service import TRACE_CHANNELS, ServiceTrace

FOLDER = "C:\\Program Files\\Svc Test"
DEFAULT = "C:\\ProgramData\\CorvaneRemoteStarter"
SERVICE_KEY = "SYSTEM\\CurrentControlSet\\Services\\Corvane Remote Starter"
STAND_INS = ("find", "sc", "reg", "icacls", "ping", "fc", "starter-setup")

# install.cmd's refusals: arguments as an administrator types them, its exit
# status, and words of what it says. Each leaves the installation as it was.
REFUSALS = [
    ("/?", 0, "usage: install.cmd"),
    ("/bogus", 1, 'unknown switch "/bogus"'),
    ("-auto", 1, 'unknown switch "-auto"'),
    ('"C:\\One" "C:\\Two"', 1, "more than one folder"),
    ("C:\\", 1, 'refusing "C:": it is a drive root'),
    ("C:\\Windows", 1, "in the Windows folder"),
    ('"C:\\windows\\Temp\\Svc"', 1, "in the Windows folder"),
    ("C:\\ProgramData", 1, "the ProgramData folder itself"),
    ('"C:\\Program Files"', 1, "the Program Files folder itself"),
    ("C:\\Users", 1, "the Users folder itself"),
    ("C:\\Users\\Public", 1, "in the Users folder"),
    ("C:\\Services\\Starter", 1, "a standard user may rename or replace a folder above it"),
    ("C:\\ProgramData\\Vendor\\Starter", 1, "a standard user may rename"),
    ('"C:\\Program Files\\A&B"', 1, "cannot pass safely"),
    ('"C:\\Program Files\\A^B"', 1, "cannot pass safely"),
    ('"C:\\Program Files\\A!B"', 1, "cannot pass safely"),
    ("\\\\server\\share\\Svc", 1, "network share"),
    # Every name the installation writes, starter-check.exe.new the longest,
    # must fit within 259 characters.
    ('"C:\\Program Files\\' + "x" * 221 + '"', 1, "238 characters long"),
    ('"C:\\Program Files\\' + "x" * 229 + '"', 1, "at most 237"),
    # Names Windows reads otherwise.
    ('"C:\\Program Files\\Foo:bar"', 1, "a colon after the drive"),
    ('"C:\\Program Files\\a*b"', 1, "wildcard"),
    ("\\\\?\\C:\\Svc", 1, "prefix"),
    # A move, by plain install.cmd into the default folder a standard user made
    # first with a list of theirs, or into a folder another product holds.
    ("", 1, 'refusing "C:\\ProgramData\\CorvaneRemoteStarter": others than administrators can'),
    ('"C:\\Program Files\\Vendor"', 1, "but this one holds Other\\"),
    # Who can change it, read from the real descriptors: here what Wine makes
    # of a folder with the Unix "other" write bit.
    ('"C:\\Program Files\\Open"', 1, "others than administrators can change it: Everyone may"),
    ('"C:\\Program Files\\Linked\\Starter"', 1,
     '"C:\\Program Files\\Linked", a folder above it, is a link to'),
]


def script(c, command_line, background=False):
    """Runs a command line in C:\\ as cmd.exe reads it from a prompt."""
    c.wine.put("C:\\run.cmd", data=f"@cd /d C:\\\r\n@{command_line}\r\n".encode(c.wine.encoding))
    if background:
        return c.wine.wine("cmd", "/c", "C:\\run.cmd", background=True)
    done = c.wine.wine("cmd", "/c", "C:\\run.cmd", timeout=300)
    return done.returncode, done.stdout.decode(c.wine.encoding, "replace")


def writable_by_all(c, path, run):
    """run() while any user could change path, as Wine reads the Unix "other"
    write bit; the mode it had is restored after."""
    mode = os.stat(c.wine.host_path(path)).st_mode
    os.chmod(c.wine.host_path(path), mode | 0o002)
    try:
        return run()
    finally:
        os.chmod(c.wine.host_path(path), mode)


def zip_holds_the_release(c):
    with zipfile.ZipFile(c.args.zip) as release_zip:
        names = release_zip.namelist()
        check(sorted(names) == ["README.txt", "SHA256SUMS", "THIRD-PARTY-NOTICES.txt",
                                "install.cmd", "starter-check.exe", "starter-setup.exe",
                                "starter.dat.example", "starter.exe", "uninstall.cmd"],
              f"the zip holds {names}")
        c.files = {name: release_zip.read(name) for name in names}
    for line in c.files["SHA256SUMS"].decode().splitlines():
        digest, name = line.split(" *")
        check(hashlib.sha256(c.files[name]).hexdigest() == digest, f"SHA256SUMS: {name}")
    guide = c.files["README.txt"]
    check(guide.startswith(b"\xef\xbb\xbf# Corvane Remote Starter") and b"scripts/" not in guide
          and b"certutil -hashfile" in guide and
          0 < guide.find(b"\r\n# Deploying to a fleet\r\n") < guide.find(b"\r\n# Troubleshooting\r\n"),
          "README.txt is not the operator's guide")
    check(max(map(len, guide.decode("utf-8-sig").split("\r\n"))) <= 100,
          "README.txt has a line Notepad shows only in part")
    notices = c.files["THIRD-PARTY-NOTICES.txt"]
    check(b"libstdc++" in notices and b"winpthread" in notices, "notices lack a library")
    with zipfile.ZipFile(c.args.zip[:-len(".zip")] + "-symbols.zip") as symbols:
        check(sorted(symbols.namelist()) == ["package-actions.dll.debug",
                                             "starter-check.exe.debug",
                                             "starter-setup.exe.debug", "starter.exe.debug"],
              f"the symbols zip holds {symbols.namelist()}")
    for name in names:
        c.wine.put("C:\\release\\" + name, data=c.files[name])
    # The administrator's list: its patch is not in the folder yet.
    c.wine.put("C:\\release\\starter.dat", data=b"Probe.exe One\r\nC:\\Probes\\Probe.exe Two\r\n"
                                                 b"msiexec.exe /p Fix.msp /qn")
    c.wine.put("C:\\Probes\\probe.exe", source=c.args.probe)
    c.wine.use_native_installer(c.args.probe)
    # Stand-ins for the system tools, in the folder the administrator runs
    # install.cmd from: cmd.exe would run these first.
    for tool in STAND_INS:
        c.wine.put(f"C:\\{tool}.exe", source=c.args.probe)


def refuses_a_release_others_can_change(c):
    for path, words in (("C:\\release", 'refusing to install from "C:\\release": others'),
                        ("C:\\release\\starter.exe", '"C:\\release\\starter.exe", which it holds')):
        status, out = writable_by_all(c, path, lambda: script(c, "C:\\release\\install.cmd"))
        check(status == 1 and words in out and "Everyone may" in out and c.wine.registration() == {}
              and listing(c, DEFAULT) is None, f"{path}: {status} {out}")


def refuses_a_folder_a_user_made(c):
    # A folder that a standard user made first, with a list of theirs in it:
    # its creator may change it.
    c.wine.put(DEFAULT + "\\starter.dat", data=b"C:\\users\\Public\\evil.exe\r\n")
    os.chmod(c.wine.host_path(DEFAULT), 0o777)
    status, out = script(c, "C:\\release\\install.cmd /auto")
    check(status == 1 and "others than administrators can change it: Everyone" in out and
          c.wine.registration() == {}, f"a planted folder: {status} {out}")


def refuses_a_program_others_can_change(c):
    status, out = writable_by_all(
        c, "C:\\Probes", lambda: script(c, f'C:\\release\\install.cmd "{FOLDER}" /auto'))
    check(status == 1 and "missing-patch" in out and "has errors" in out and
          'changeable-by-users: on this machine the program, c:\\probes\\probe.exe' in out and
          c.wine.registration() == {}, f"a list with errors: {status} {out}")


def installs_with_force(c):
    # A trailing backslash, and /force for the list's missing patch.
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}\\" /auto /force')
    check(status == 0 and f'installed in "{FOLDER}"' in out and "at every boot" in out,
          f"install.cmd: {status} {out}")
    c.installed = c.wine.registration()
    check((c.installed.get("ImagePath"), c.installed.get("Type"), c.installed.get("Start"),
           bool(c.installed.get("Description"))) == (f'"{FOLDER}\\starter.exe"', "0x110", "0x2",
                                                      True), f"registered as {c.installed}")
    # No tool from the current directory ran, and no icacls: the access is set through the API.
    check(not any(c.wine.probe_records(f"C:\\{tool}.exe", timeout=0) for tool in STAND_INS) and
          c.wine.icacls_calls() == [], "install.cmd ran a tool from the current directory, or icacls")
    check(listing(c, FOLDER) == ["starter-check.exe", "starter.dat", "starter.exe", "starter.job"]
          and settings(c).get("Folder") == FOLDER and len(settings(c).get("Job", "")) == 64,
          f"installed: {listing(c, FOLDER)} {settings(c)}")
    # The installed service, audited: its folder changed by anyone fails it.
    audit = [FOLDER + "\\starter-check.exe", "--installed", "--json"]
    done = c.wine.wine(*audit)
    check(done.returncode == 1 and json.loads(done.stdout)["installed"] ==
          {"image_path": f'"{FOLDER}\\starter.exe"', "account": "LocalSystem"},
          f"--installed: {done.returncode} {done.stdout}")
    done = writable_by_all(c, FOLDER, lambda: c.wine.wine(*audit))
    codes = [f["code"] for f in json.loads(done.stdout)["findings"]]
    check(done.returncode == 3 and codes == ["folder-rule"], f"--installed: {done.stdout}")


def runs_its_list(c):
    # Installed first, then the programs go in.
    c.wine.put(FOLDER + "\\probe.exe", source=c.args.probe)
    trace = c.wine.start_service()
    patch = f'"{INSTALLER}" /p "{FOLDER}\\fix.msp" /qn'
    expect_run(trace, [(f'"{FOLDER}\\probe.exe" one', True),
                       ("c:\\probes\\probe.exe two", True), (patch, True)])
    expect_records(c.wine, FOLDER + "\\probe.exe", [(f'"{FOLDER}\\probe.exe" one', FOLDER)])


def refuses_what_it_must(c):
    c.wine.put("C:\\Program Files\\Vendor\\Other\\app.exe", source=c.args.probe)
    os.makedirs(c.wine.host_path("C:\\Program Files\\Open"))
    os.chmod(c.wine.host_path("C:\\Program Files\\Open"), 0o777)
    os.makedirs(c.wine.host_path("C:\\Apps\\Linked"))
    os.symlink(c.wine.host_path("C:\\Apps\\Linked"), c.wine.host_path("C:\\Program Files\\Linked"))
    for arguments, want, words in REFUSALS:
        status, out = script(c, f"C:\\release\\install.cmd {arguments}")
        check(status == want and words in out, f"install.cmd {arguments}: {status} {out}")
        check(c.wine.registration() == c.installed, f"install.cmd {arguments} changed the service")
    check(listing(c, DEFAULT) == ["starter.dat"], "the move left files")
    check(not os.path.exists(c.wine.host_path("C:\\-auto")), "a folder -auto was made")
    # The guide shows each script's usage as the script prints it.
    for name in ("install.cmd", "uninstall.cmd"):
        usage = script(c, f"C:\\release\\{name} /?")[1]
        check(usage.startswith(f"usage: {name}") and
              f"```\r\n{usage}```\r\n".encode() in c.files["README.txt"],
              f"README.txt lacks {name} /?: {usage}")
    usage = c.wine.wine("C:\\release\\starter-setup.exe", "--help").stdout.decode()
    check(usage.startswith("usage: starter-setup") and
          f"```\r\n{usage}```\r\n".encode() in c.files["README.txt"],
          f"README.txt lacks starter-setup --help: {usage}")
    # Not in code page 1252, and so not in a batch file either: from Wine's own command line.
    done = c.wine.wine("cmd", "/c", "C:\\release\\install.cmd", "C:\\Program Files\\Svc-\u03a9")
    check(done.returncode == 1 and b"ANSI code page cannot hold" in done.stdout and
          c.wine.registration() == c.installed, f"install.cmd Svc-\u03a9: {done.stdout}")


def update_waits_for_a_busy_service(c):
    # An update while the service works through its list waits for it; a
    # relative folder is made absolute; the list and the start type are kept.
    os.remove(c.wine.host_path("C:\\release\\starter.dat"))

    def busy_run():
        return ServiceTrace(c.wine.read_trace().text[since:])

    # Halted once it has started a program, and before it reports: where the
    # run ends first, a longer list. Only this run's part of the trace counts.
    for count in (30, 120, 480):
        installed_list = b"probe.exe busy\r\n" * count
        c.wine.put(FOLDER + "\\starter.dat", data=installed_list)
        since = len(c.wine.read_trace().text)
        starting = c.wine.wine("sc", "start", "Corvane Remote Starter", background=True)
        deadline = time.time() + 120
        while time.time() < deadline and not busy_run().starts:
            time.sleep(0.05)
        service = c.wine.pause_service()
        if not busy_run().reported:
            break
        c.wine.resume_service(service)
        starting.wait(timeout=300)
    check(not busy_run().reported, "the service could not be halted during its run")
    updating = script(c, 'cd /d "C:\\Program Files" && C:\\release\\install.cmd "Svc Test"',
                      background=True)
    said = b""
    watchdog = threading.Timer(300, updating.kill)
    watchdog.start()
    while b"waiting" not in said and updating.poll() is None:
        said += updating.stdout.readline()
    watchdog.cancel()
    check(b"waiting" in said and c.wine.registration() == c.installed and updating.poll() is None,
          f"the update did not wait for the busy service: {said!r}")
    c.wine.resume_service(service)
    out = (said + updating.communicate(timeout=300)[0]).decode(c.wine.encoding, "replace")
    starting.wait(timeout=300)
    check(updating.returncode == 0 and "waiting" in out and "updating" in out,
          f"update of a busy service: {updating.returncode} {out}")
    deadline = time.time() + 300
    while time.time() < deadline and not busy_run().reported:
        time.sleep(0.2)
    check(len(busy_run().starts) == count + 1, "the busy run was cut short")
    check(c.wine.registration() == c.installed, f"the update changed the service: "
                                                f"{c.wine.registration()}")
    with open(c.wine.host_path(FOLDER + "\\starter.dat"), "rb") as f:
        check(f.read() == installed_list, "the update replaced the installed list")
    # The probe an administrator put there by hand goes, with what it wrote.
    for name in ("probe.exe", "probe.exe.log"):
        os.remove(c.wine.host_path(FOLDER + "\\" + name))


def refuses_links(c):
    """A list, or a file in the folder, that leads elsewhere is refused by the
    update, the audit and the release folder's own check."""
    user = "C:\\users\\Public\\drop"
    c.wine.put(user + "\\x.dat", data=b"C:\\users\\Public\\drop\\evil.exe\r\n")
    os.chmod(c.wine.host_path(user), 0o777)
    listed = c.wine.host_path(FOLDER + "\\starter.dat")
    os.rename(listed, listed + ".kept")
    os.symlink(c.wine.host_path(user + "\\x.dat"), listed)
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 1 and f'"{FOLDER}\\starter.dat", which it holds, is a link to "{user}\\x.dat"'
          in out, f"an update beside a linked list: {status} {out}")
    done = c.wine.wine(FOLDER + "\\starter-check.exe", "--installed", "--json")
    findings = json.loads(done.stdout.splitlines()[0])["findings"]
    check(done.returncode == 3 and "is a link to" in findings[0]["message"],
          f"--installed beside a linked list: {done.stdout}")
    os.remove(listed)
    os.rename(listed + ".kept", listed)
    # A folder in it that leads elsewhere.
    os.symlink(c.wine.host_path("C:\\Apps"), c.wine.host_path(FOLDER + "\\tools"))
    done = c.wine.wine(FOLDER + "\\starter-check.exe", "--installed", "--json")
    findings = json.loads(done.stdout.splitlines()[0])["findings"]
    check(done.returncode == 3 and 'tools", which it holds, is a link to "C:\\Apps"' in
          findings[0]["message"], f"--installed beside a linked folder: {done.stdout}")
    os.remove(c.wine.host_path(FOLDER + "\\tools"))
    # The release's own list, a link to a file others can change.
    os.symlink(c.wine.host_path(user + "\\x.dat"), c.wine.host_path("C:\\release\\starter.dat"))
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 1 and 'refusing to install from "C:\\release"' in out and "is a link to" in out,
          f"a release with a linked list: {status} {out}")
    os.remove(c.wine.host_path("C:\\release\\starter.dat"))


def audits_the_registration(c):
    """Every key below the service's is judged, and an image path is unquoted
    only where a space lies before the program's name ends."""
    security = f"{SERVICE_KEY}\\Security"
    c.wine.put("C:\\tests\\key_access.exe", source=c.args.key_access)
    done = c.wine.wine("C:\\tests\\key_access.exe", security, "users-write")
    check(done.returncode == 0, f"key_access: {done.returncode}")
    done = c.wine.wine(FOLDER + "\\starter-check.exe", "--installed", "--json")
    findings = json.loads(done.stdout.splitlines()[0])["findings"]
    check(done.returncode == 3 and findings[0]["code"] == "registry-access" and
          "the key Security below" in findings[0]["message"] and
          "BUILTIN\\Users may" in findings[0]["message"], f"--installed with Security: {done.stdout}")
    c.wine.wine("reg", "delete", "HKLM\\" + security, "/f")
    key = "HKLM\\" + SERVICE_KEY
    c.wine.wine("reg", "add", key, "/v", "ImagePath", "/t", "REG_EXPAND_SZ", "/d",
                "C:\\ProgramData\\CorvaneRemoteStarter\\starter.exe -x", "/f")
    done = c.wine.wine(FOLDER + "\\starter-check.exe", "--installed", "--json")
    codes = [f["code"] for f in json.loads(done.stdout.splitlines()[0])["findings"]]
    c.wine.wine("reg", "add", key, "/v", "ImagePath", "/t", "REG_EXPAND_SZ", "/d",
                f'"{FOLDER}\\starter.exe"', "/f")
    check("unquoted-image-path" not in codes, f"an image path with an option: {codes}")


def a_new_job_replaces_the_old(c):
    """The files an earlier job brought go with the next job; a list that
    still needs one of them is refused, as it would fail on a fresh machine."""
    c.wine.put("C:\\release\\starter.dat", data=b"msiexec.exe /p Old.msp /qn /norestart\r\n"
                                                 b"Inventory.exe /q\r\n")
    c.wine.put("C:\\release\\Old.msp", data=b"a patch")
    c.wine.put("C:\\release\\Inventory.exe", source=c.args.probe)
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 0 and listing(c, FOLDER) == ["inventory.exe", "old.msp", "starter-check.exe",
                                                 "starter.dat", "starter.exe", "starter.job"],
          f"the first job: {status} {out} {listing(c, FOLDER)}")
    first = settings(c)["Job"]
    for name in ("Old.msp", "Inventory.exe"):
        os.remove(c.wine.host_path("C:\\release\\" + name))
    c.wine.put("C:\\release\\starter.dat", data=b"msiexec.exe /p Old.msp /qn /norestart\r\n")
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 1 and "missing-patch" in out and "old.msp" in listing(c, FOLDER),
          f"a list that needs the old job's patch: {status} {out}")
    c.wine.put("C:\\release\\starter.dat", data=b"Report.exe /daily\r\n")
    c.wine.put("C:\\release\\Report.exe", source=c.args.probe)
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 0 and listing(c, FOLDER) == ["report.exe", "starter-check.exe", "starter.dat",
                                                 "starter.exe", "starter.job"] and
          settings(c)["Job"] != first, f"the next job: {status} {out} {listing(c, FOLDER)}")


def a_plain_uninstall_leaves_the_job(c):
    status, out = script(c, "C:\\release\\uninstall.cmd")
    check(status == 0 and "removed the service" in out and f'"{FOLDER}" was left' in out and
          "install.cmd takes it back" in out and "uninstall.cmd /purge" in out,
          f"uninstall.cmd: {status} {out}")
    check(c.wine.registration() == {} and "Job" not in settings(c) and
          settings(c).get("Folder") == FOLDER, f"after uninstall.cmd: {settings(c)}")
    status, out = script(c, "C:\\release\\uninstall.cmd")
    check(status == 0 and "not installed" in out, f"uninstall.cmd again: {status} {out}")


def a_reinstall_takes_the_folder_back(c):
    """What the installation brought, its jobs' files included, it takes back;
    not with what a job wrote beside them."""
    os.remove(c.wine.host_path("C:\\release\\starter.dat"))
    c.wine.put(FOLDER + "\\report.exe.log", data=b"what a job wrote\r\n")
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 1 and "no service is registered yet, but it holds" in out and
          "report.exe.log" in out and c.wine.registration() == {},
          f"install.cmd into a folder left behind: {status} {out}")
    os.remove(c.wine.host_path(FOLDER + "\\report.exe.log"))
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 0 and f'installed in "{FOLDER}"' in out and "report.exe" in listing(c, FOLDER),
          f"install.cmd taking a folder back: {status} {out}")
    status, out = script(c, "C:\\release\\uninstall.cmd")
    check(status == 0 and c.wine.registration() == {}, f"uninstall.cmd: {status} {out}")


def a_purge_after_a_plain_uninstall(c):
    status, out = script(c, "C:\\release\\uninstall.cmd /purge")
    check(status == 0 and f'removed "{FOLDER}"' in out and listing(c, FOLDER) is None and
          settings(c) == {}, f"/purge after uninstall.cmd: {status} {out}")


def purge_keeps_what_is_not_its_own(c):
    # /purge follows the registration, but deletes nothing in a folder the
    # folder rule refuses: what bears the installation's names there is another's.
    for where, why in (("C:\\ProgramData", "it is the ProgramData folder itself"),
                       ("C:\\users\\Public\\OtherTool", "it lies in the Users folder")):
        for name in ("starter.exe", "starter.dat", "starter-check.exe"):
            c.wine.put(f"{where}\\{name}", source=c.args.starter)
        c.wine.install_service(where + "\\starter.exe")
        status, out = script(c, "C:\\release\\uninstall.cmd /purge")
        check(status == 1 and f'keeping "{where}": {why}' in out and
              "nothing was removed" in out and c.wine.registration() == {} and
              all(os.path.exists(c.wine.host_path(f"{where}\\{name}"))
                  for name in ("starter.exe", "starter.dat", "starter-check.exe")),
              f"/purge of {where}: {status} {out}")
    # ... never through a link: a listed file made a link to another folder.
    purged = "C:\\Program Files\\Purged"
    c.wine.put("C:\\release\\starter.dat", data=b"Report.exe /x\r\n")
    status, out = script(c, f'C:\\release\\install.cmd "{purged}"')
    c.wine.put("C:\\victim\\precious.txt", data=b"another's\r\n")
    report = c.wine.host_path(purged + "\\report.exe")
    os.remove(report)
    os.symlink(c.wine.host_path("C:\\victim"), report)
    status, out = script(c, "C:\\release\\uninstall.cmd /purge")
    check(status == 1 and f'keeping "{purged}"' in out and 'report.exe", which it holds, is a link'
          in out and listing(c, "C:\\victim") == ["precious.txt"],
          f"/purge through a link: {status} {out}")
    os.remove(report)
    # ... and in a folder of its own only its own files, unless nothing else is
    # there: a file named ".exe" is no file of a list's.
    status, out = script(c, f'C:\\release\\install.cmd "{purged}"')
    c.wine.put(purged + "\\notes.txt", data=b"the administrator's own\r\n")
    c.wine.put(purged + "\\.exe", data=b"another's\r\n")
    status, out = script(c, "C:\\release\\uninstall.cmd /purge")
    check(status == 1 and "did not put there: .exe, notes.txt" in out and
          listing(c, purged) == [".exe", "notes.txt"], f"/purge beside other files: {status} {out}")
    for name in (".exe", "notes.txt"):
        os.remove(c.wine.host_path(purged + "\\" + name))
    c.purged = purged


def the_quick_start(c):
    # A list and the patch it names beside install.cmd, one line to install
    # and start it; /purge takes the patch too.
    c.wine.put("C:\\release\\starter.dat", data=b"msiexec.exe /p Hotfix.msp /qn /norestart\r\n")
    c.wine.put("C:\\release\\Hotfix.msp", data=b"a patch")
    os.remove(c.wine.host_path("C:\\release\\Report.exe"))
    since = len(c.wine.read_trace().text)
    status, out = script(c, f'C:\\release\\install.cmd "{c.purged}" /start')
    check(status == 0 and "started" in out and listing(c, c.purged)[0] == "hotfix.msp",
          f"install.cmd /start: {status} {out}")
    check(wait_for_run(c, since).starts ==
          [(f'"{INSTALLER}" /p "{c.purged}\\hotfix.msp" /qn /norestart', True),
           (f'"{c.purged}\\"', False)], "the quick start's run")
    status, out = script(c, "C:\\release\\uninstall.cmd /purge")
    check(status == 0 and f'removed "{c.purged}"' in out and listing(c, c.purged) is None,
          f"/purge: {status} {out}")


def a_move_into_another_folder(c):
    status, out = script(c, f'C:\\release\\install.cmd "{FOLDER}"')
    check(status == 0, f"install.cmd: {status} {out}")
    other = "C:\\Program Files\\Other Dir"
    status, out = script(c, f'C:\\release\\install.cmd "{other}"')
    check(status == 0 and f'moving the service from "{FOLDER}"' in out and
          c.wine.registration().get("ImagePath") == f'"{other}\\starter.exe"' and
          "starter.exe" in listing(c, FOLDER), f"install.cmd into another folder: {status} {out}")


def programs_carry_the_version(c):
    # The version resource and the manifest, read back by the cross toolchain's windres.
    image = c.files["starter.exe"]
    pe = int.from_bytes(image[0x3C:0x40], "little")
    windres = "i686-w64-mingw32-windres" if image[pe + 4] == 0x4C else "x86_64-w64-mingw32-windres"
    with open(os.path.join(c.wine.work, "starter.exe"), "wb") as f:
        f.write(image)
    resource = subprocess.run([windres, "-i", os.path.join(c.wine.work, "starter.exe"), "-O", "rc"],
                              check=True, stdout=subprocess.PIPE, text=True).stdout
    for value in (f'"FileVersion", "{c.args.version}"', f'"ProductVersion", "{c.args.version}"',
                  '"ProductName", "Corvane Remote Starter"', '"OriginalFilename", "starter.exe"',
                  'level=""asInvoker""', "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                  "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
        check(value in resource, f"resources lack {value}:\n{resource}")
    check(b".gnu_debuglink" in image and b"starter.exe.debug" in image and
          b".debug_info" not in image, "starter.exe is not stripped with a debug link")


@scenario
def release(args):
    # Wine ends a service that has not reported running within its pipe
    # timeout, and this one never does; the busy run is halted a while.
    with WineSession(locale="C.UTF-8", channels=TRACE_CHANNELS + ",fixme+icacls",
                     pipe_timeout_ms=600000) as wine:
        wine.keep_services_up(args.probe)
        run_steps(Context(args, wine), zip_holds_the_release,
                  refuses_a_release_others_can_change, refuses_a_folder_a_user_made,
                  refuses_a_program_others_can_change, installs_with_force, runs_its_list,
                  refuses_what_it_must, update_waits_for_a_busy_service, refuses_links,
                  audits_the_registration, a_new_job_replaces_the_old,
                  a_plain_uninstall_leaves_the_job, a_reinstall_takes_the_folder_back,
                  a_purge_after_a_plain_uninstall, purge_keeps_what_is_not_its_own,
                  the_quick_start, a_move_into_another_folder, programs_carry_the_version)

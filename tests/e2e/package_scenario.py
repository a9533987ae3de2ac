"""The Windows Installer package, as a deployment tool runs it: signed with a
throwaway certificate; refused a folder of others, an INSTALLFOLDER, a
LISTFILE that would run a command and values it does not take, each with its
reason in the log; installed with a job to run once, given a new job,
repaired, refused a failed upgrade, upgraded, refused a downgrade, removed
and installed again: each step a function of its own."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import zipfile

from e2e_common import INSTALLER, Context, WineSession, check, expect_records, expect_run, \
    listing, run_steps, scenario, settings, wait_for_run
from wine_service import TRACE_CHANNELS, ServiceTrace

FOLDER = "C:\\ProgramData\\CorvaneRemoteStarter"
DEPLOY = "C:\\Program Files\\Corvane Deploy"
# The job: a list that names a program by its path, a bare program and a
# patch, the last two staged beside it.
JOB = b"C:\\Probes\\Probe.exe /Deployed\r\nProbe.exe /Bare\r\nmsiexec.exe /p Hotfix.msp /qn /norestart\r\n"


def table(c, name):
    out = subprocess.run(["msiinfo", "export", c.args.msi, name], check=True,
                         capture_output=True, text=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


def installed_version(c):
    for view in ("", "\\Wow6432Node"):
        out = c.wine.wine("reg", "query", f"HKLM\\Software{view}\\Microsoft\\Windows\\"
                          "CurrentVersion\\Uninstall", "/s").stdout.decode("latin-1")
        for entry in out.split("\r\n\r\n"):
            if "Corvane Remote Starter" in entry:
                return re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", entry).group(1)
    return None


def list_bytes(c):
    path = c.wine.host_path(FOLDER + "\\starter.dat")
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def staged_identity(c, list_path):
    """What starter-check.exe, staged beside the job, says its identity is."""
    done = c.wine.wine(DEPLOY + "\\starter-check.exe", "--job-identity", list_path)
    check(done.returncode == 0, f"--job-identity {list_path}: {done.returncode}")
    return done.stdout.decode().strip()


def documented(block_start):
    """The code block of the fleet page that begins with block_start, as a
    batch file holds it."""
    page = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "fleet.md")
    with open(page, encoding="utf-8") as f:
        blocks = re.findall(r"```[a-z]*\n(.*?)```", f.read(), re.S)
    block = next(b for b in blocks if b.startswith(block_start))
    # Joined where a line ends in ^, as Windows' cmd.exe joins them and Wine's does not.
    return re.sub(r"%([RKD]|~nxK)\b", r"%%\1", re.sub(r"\s*\^\n\s*", " ", block))


def signed_and_verified(c):
    keys = c.keys
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                    "/CN=Throwaway Signer", "-days", "1", "-keyout", f"{keys}/key.pem",
                    "-out", f"{keys}/cert.pem"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", f"{keys}/key.pem", "-in",
                    f"{keys}/cert.pem", "-passout", "pass:secret", "-out", f"{keys}/cert.p12"],
                   check=True, capture_output=True)
    for name, text in (("password", "secret"), ("wrong", "guess")):
        with open(f"{keys}/{name}", "w") as f:
            f.write(text + "\n")
    sign = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "sign.sh")
    build = os.path.dirname(os.path.abspath(c.args.msi))
    subprocess.run([sign, "--build", build, f"{keys}/cert.p12", f"{keys}/password"],
                   check=True, capture_output=True)
    signed_folder = os.path.join(build, "signed")
    c.signed = os.path.join(signed_folder, os.path.basename(c.args.msi))
    before = {name: os.path.getmtime(os.path.join(signed_folder, name))
              for name in os.listdir(signed_folder)}
    wrong = subprocess.run([sign, "--build", build, f"{keys}/cert.p12", f"{keys}/wrong"],
                           capture_output=True)
    check(wrong.returncode == 2 and b"a wrong password" in wrong.stderr and
          {name: os.path.getmtime(os.path.join(signed_folder, name))
           for name in os.listdir(signed_folder)} == before,
          f"a wrong password: {wrong.returncode} {wrong.stderr[-300:]}")
    with open(c.signed, "rb") as f:
        tampered = bytearray(f.read())
    tampered[len(tampered) // 2] ^= 1
    with open(f"{keys}/tampered.msi", "wb") as f:
        f.write(tampered)
    release_zip = os.path.basename(c.args.msi)[:-len(".msi")] + ".zip"
    with zipfile.ZipFile(os.path.join(signed_folder, release_zip)) as signed_zip:
        signed_zip.extract("starter-setup.exe", keys)
    for path, good in ((c.signed, True), (f"{keys}/tampered.msi", False),
                       (f"{keys}/starter-setup.exe", True)):
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", f"{keys}/cert.pem",
                                 "-in", path], capture_output=True)
        check((verify.returncode == 0) == good, f"osslsigncode verify {path}: "
                                                f"{verify.stdout.decode()[-300:]}")


def tables_say_what_wine_cannot(c):
    """A standard user's repair may pass only secure properties; the old
    version is removed inside the transaction; the job is brought by the
    package's own actions, with a rollback and a commit, and no icacls runs."""
    properties = dict(table(c, "Property"))
    secure = properties["SecureCustomProperties"].split(";")
    # Wine's msiexec drops every quote of a value, so this refusal shows only here.
    conditions = [row[0] for row in table(c, "LaunchCondition")]
    check(properties["DoubleQuote"] == '"' and "NOT (LISTFILE >< DoubleQuote)" in conditions,
          f"no refusal of a quote in LISTFILE: {conditions}")
    sequence = {row[0]: int(row[2]) for row in table(c, "InstallExecuteSequence")}
    files = {row[2]: (row[1], row[4]) for row in table(c, "File")}
    actions = {row[0]: (int(row[1]), row[2], row[3]) for row in table(c, "CustomAction")}
    check("LISTFILE" not in secure and "INSTALLFOLDER" not in secure and
          sequence["InstallInitialize"] < sequence["RemoveExistingProducts"] <
          sequence["ProcessComponents"] and
          files == {"starter.exe": ("Service", f"{c.args.version}.0"),
                    "starter-check.exe": ("Checker", f"{c.args.version}.0")},
          f"the package's tables: {secure} {sequence} {files}")
    check(sequence["JudgeFolder"] < sequence["InstallInitialize"] < sequence["PrepareFolder"] <
          sequence["CreateFolders"] < sequence["UndoJob"] < sequence["BringJob"] <
          sequence["KeepJob"] < sequence["InstallServices"] < sequence["AuditInstallation"] and
          (actions["UndoJob"][0], actions["BringJob"][0], actions["KeepJob"][0]) ==
          (3329, 3073, 3585) and "MoveFiles" not in sequence and
          not any("icacls" in " ".join(map(str, action)).lower() for action in actions.values()),
          f"the package's actions: {actions} {sequence}")


def stage(c):
    c.wine.put("C:\\Deploy\\corvane.msi", source=c.signed)
    c.wine.put("C:\\Deploy\\next.msi", source=c.args.msi_next)
    c.wine.put(DEPLOY + "\\starter.dat", data=JOB)
    c.wine.put(DEPLOY + "\\probe.exe", source=c.args.probe)
    c.wine.put(DEPLOY + "\\Hotfix.msp", data=b"a patch")
    c.wine.put(DEPLOY + "\\broken.dat", data=b"del C:\\x\r\nmsiexec.exe /i a.msi\r\n")
    c.wine.put(DEPLOY + "\\starter-check.exe", source=c.args.check)
    c.wine.put("C:\\Probes\\probe.exe", source=c.args.probe)


def refuses_before_anything_changes(c):
    """A folder a standard user made first, any INSTALLFOLDER, a LISTFILE
    that is no list or that others can change, values it does not take: each
    refused with its reason in the log, where the package writes one."""
    c.wine.put(FOLDER + "\\starter.dat", data=b"C:\\users\\Public\\evil.exe\r\n")
    os.chmod(c.wine.host_path(FOLDER), 0o777)  # its creator's
    log = c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi", f"LISTFILE={DEPLOY}\\starter.dat")
    check(f'Corvane Remote Starter: refusing "{FOLDER}": others than administrators can change'
          in log and c.wine.registration() == {} and installed_version(c) is None,
          "a planted folder was taken, or the log says not why")
    shutil.rmtree(c.wine.host_path(FOLDER))
    c.wine.put("C:\\Open\\starter.dat", data=JOB)
    os.chmod(c.wine.host_path("C:\\Open"), 0o777)
    for option, reason in (
            ("INSTALLFOLDER=C:\\", None),
            (f"LISTFILE={DEPLOY}\\starter.dat & echo injected> C:\\pwned.txt", None),
            ("LISTFILE=C:\\Open\\starter.dat", 'refusing the list "C:\\Open\\starter.dat": others'),
            (f"LISTFILE={DEPLOY}\\broken.dat", "error no-patch-option"),
            ("STARTTYPE=sometimes", "STARTTYPE=sometimes is refused: it takes auto, automatic,"),
            ("STARTTYPE=disabled", "STARTTYPE=disabled is refused"),
            ("STARTSERVICE=yes", "STARTSERVICE=yes is refused: it takes 1"),
            ("STARTSERVICE=0", "STARTSERVICE=0 is refused")):
        log = c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi", option)
        check(c.wine.registration() == {} and installed_version(c) is None and
              not os.path.exists(c.wine.host_path("C:\\pwned.txt")) and listing(c, FOLDER) is None and
              (reason is None or "Corvane Remote Starter: " in log and reason in log),
              f"{option} was taken, or the log says not why")
    check(c.wine.icacls_calls() == [], f"icacls ran: {c.wine.icacls_calls()}")


def one_line_runs_a_job(c):
    # One line installs the job, in any case of STARTTYPE, and runs it once
    # Windows Installer is done.
    c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi", f"LISTFILE={DEPLOY}\\starter.dat",
                   "STARTTYPE=Auto", "STARTSERVICE=1")
    # Wine's installer registers the path unquoted, as the package allows for:
    # its folder holds no space.
    registered = c.wine.registration()
    check({k: registered.get(k) for k in ("Type", "Start", "ObjectName", "ImagePath")} ==
          {"Type": "0x110", "Start": "0x2", "ObjectName": "LocalSystem",
           "ImagePath": FOLDER + "\\starter.exe"}, f"registered as {registered}")
    # The job was brought by the package's own action: no shell ran, which a
    # value with a quote and an & once turned into a command as SYSTEM.
    check("cmd.exe" not in c.wine.read_trace().text, "the installation ran a shell")
    check(listing(c, FOLDER, logs=False) == ["hotfix.msp", "probe.exe", "starter-check.exe", "starter.dat",
                                     "starter.exe", "starter.job"] and
          settings(c).get("Job") == staged_identity(c, DEPLOY + "\\starter.dat"),
          f"the job's files and identity: {listing(c, FOLDER)} {settings(c).get('Job')}")
    patch = f'"{INSTALLER}" /p {FOLDER}\\hotfix.msp /qn /norestart'
    expect_run(c.wine.wait_for_report(), [("c:\\probes\\probe.exe /deployed", True),
                                          (f'"{FOLDER}\\probe.exe" /bare', True), (patch, True),
                                          (f'"{FOLDER}\\"', False)])
    expect_records(c.wine, "C:\\Probes\\probe.exe", [("c:\\probes\\probe.exe /deployed",
                                                      "c:\\probes")])
    expect_records(c.wine, FOLDER + "\\probe.exe", [(f'"{FOLDER}\\probe.exe" /bare', FOLDER)])
    os.remove(c.wine.host_path(FOLDER + "\\probe.exe.log"))


def a_new_job_replaces_the_old(c):
    # An administrator's run with a new list takes it, and its files, at once,
    # and the files of the job before go.
    first = settings(c).get("Job")
    since = len(c.wine.read_trace().text)
    c.wine.put(DEPLOY + "\\next\\starter.dat", data=b"Report.exe /Second\r\n")
    c.wine.put(DEPLOY + "\\next\\Report.exe", source=c.args.probe)
    c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi", f"LISTFILE={DEPLOY}\\next\\starter.dat",
                   "STARTSERVICE=1")
    check(wait_for_run(c, since).starts == [(f'"{FOLDER}\\report.exe" /second', True),
                                         (f'"{FOLDER}\\"', False)], "the new list's run")
    c.wine.probe_records(FOLDER + "\\report.exe", 1)
    check(listing(c, FOLDER, logs=False) == ["report.exe", "starter-check.exe", "starter.dat",
                                     "starter.exe", "starter.job"] and settings(c).get("Job") not in (None, first),
          f"the new job: {listing(c, FOLDER)} {settings(c).get('Job')}")
    os.remove(c.wine.host_path(FOLDER + "\\report.exe.log"))
    c.deployed = b"Report.exe /Second\r\n"


def upgrades_keep_the_job(c):
    # An upgrade that fails leaves the old version, service, start type and list.
    next_version = re.search(r"-(\d+\.\d+\.\d+)-", os.path.basename(c.args.msi_next)).group(1)
    c.wine.msiexec("/i", "C:\\Deploy\\next.msi", "LISTFILE=C:\\Deploy\\missing.dat")
    check((installed_version(c), c.wine.registration().get("Start"), list_bytes(c)) ==
          (c.args.version, "0x2", c.deployed), "a failed upgrade took the old version")
    # An upgrade keeps the start type; a reinstall changes it, in Windows' words.
    c.wine.msiexec("/i", "C:\\Deploy\\next.msi")
    check((installed_version(c), c.wine.registration().get("Start"), list_bytes(c)) ==
          (next_version, "0x2", c.deployed), "the upgrade lost the list or the start type")
    c.wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus",
                   "STARTTYPE=Manual")
    check(c.wine.registration().get("Start") == "0x3", f"STARTTYPE=Manual: {c.wine.registration()}")
    c.next_version = next_version


def a_repair_judges_a_folder_made_again(c):
    # A repair that finds no service judges the folder as a first installation
    # would: here, one a standard user made again.
    c.wine.wine("sc", "delete", "Corvane Remote Starter")
    shutil.rmtree(c.wine.host_path(FOLDER))
    os.makedirs(c.wine.host_path(FOLDER))
    os.chmod(c.wine.host_path(FOLDER), 0o777)
    log = c.wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus")
    check(c.wine.registration() == {} and listing(c, FOLDER) == [] and
          "Corvane Remote Starter: refusing" in log, "a repair took a folder a standard user made")
    os.rmdir(c.wine.host_path(FOLDER))
    c.wine.msiexec("/i", "C:\\Deploy\\next.msi", "REINSTALL=ALL", "REINSTALLMODE=vomus")
    check(c.wine.registration().get("Start") == "0x3", f"a repair after: {c.wine.registration()}")
    c.wine.put(FOLDER + "\\starter.dat", data=c.deployed)


def refuses_a_downgrade(c):
    log = c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
    # The launch condition that carries the refusal's message fails; Wine
    # does not write the message to the log.
    check("WIX_DOWNGRADE_DETECTED = {" in log and "LaunchConditions. Return value 1" not in
          log and installed_version(c) == c.next_version, "a downgrade was not refused")


def removal_leaves_the_job_to_take_back(c):
    # The documented removal, which finds the version installed by its name.
    c.wine.put("C:\\remove.cmd", data=documented("for %R in").replace("\n", "\r\n").encode())
    c.wine.wine("cmd", "/c", "C:\\remove.cmd", timeout=300)
    deadline = time.time() + 300
    while c.wine.processes("msiexec.exe") and time.time() < deadline:
        time.sleep(0.2)
    check(c.wine.registration() == {} and installed_version(c) is None and settings(c).get("Job") is None,
          "the documented removal left the service, or its job's identity")
    check(list_bytes(c) == c.deployed and
          not os.path.exists(c.wine.host_path(FOLDER + "\\starter.exe")),
          "removal took the list, or left the program")
    # What removal leaves, the installation's own files open to administrators
    # alone, a new installation takes back, list and all; not while the
    # folder holds anything else, such as what a job left.
    c.wine.put(FOLDER + "\\probe.exe.log", data=b"what a job wrote\r\n")
    c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
    check(c.wine.registration() == {}, "installed into a folder that held a job's log")
    os.remove(c.wine.host_path(FOLDER + "\\probe.exe.log"))
    c.wine.msiexec("/i", "C:\\Deploy\\corvane.msi")
    check(c.wine.registration().get("ImagePath") == FOLDER + "\\starter.exe" and
          installed_version(c) == c.args.version and list_bytes(c) == c.deployed,
          "a new installation did not take back what removal left")


def the_playbook_runs_each_job_once(c):
    """The Ansible play's tasks, as the fleet page gives them, in order: the
    service where its version is missing, then the job where its identity
    is not installed. Two plays run a job once; a new job runs once more."""
    play = DEPLOY + "\\play"
    product = dict(table(c, "Property"))["ProductCode"]

    def run_play():
        since = len(c.wine.read_trace().text)
        c.wine.put(play + "\\corvane.msi", source=c.signed)
        uninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product
        if c.wine.wine("reg", "query", uninstall, "/reg:32").returncode != 0:
            c.wine.msiexec("/i", play + "\\corvane.msi")
        if settings(c).get("Job") != staged_identity(c, play + "\\starter.dat"):
            c.wine.msiexec("/i", play + "\\corvane.msi", "STARTSERVICE=1",
                           f"LISTFILE={play}\\starter.dat")
            return wait_for_run(c, since).starts
        time.sleep(2)
        return ServiceTrace(c.wine.read_trace().text[since:]).starts

    c.wine.put(play + "\\starter.dat", data=b"Inventory.exe /Quiet\r\n")
    c.wine.put(play + "\\Inventory.exe", source=c.args.probe)
    runs = [run_play(), run_play()]
    c.wine.put(play + "\\starter.dat", data=b"Inventory.exe /Again\r\n")
    runs.append(run_play())
    check(runs == [[(f'"{FOLDER}\\inventory.exe" /quiet', True), (f'"{FOLDER}\\"', False)], [],
                   [(f'"{FOLDER}\\inventory.exe" /again', True), (f'"{FOLDER}\\"', False)]],
          f"the plays ran: {runs}")


@scenario
def msi(args):
    with tempfile.TemporaryDirectory() as keys:
        with WineSession(channels=TRACE_CHANNELS + ",fixme+icacls") as wine:
            wine.keep_services_up(args.probe)
            run_steps(Context(args, wine, keys=keys), signed_and_verified,
                      tables_say_what_wine_cannot, stage, refuses_before_anything_changes,
                      one_line_runs_a_job, a_new_job_replaces_the_old, upgrades_keep_the_job,
                      a_repair_judges_a_folder_made_again, refuses_a_downgrade,
                      removal_leaves_the_job_to_take_back, the_playbook_runs_each_job_once)

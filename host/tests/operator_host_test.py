"""updatehost as operators' scripts see it, end to end inside the simulated
machine: with --json, standard output is exactly one JSON object whatever
happens, and the exit status, the outcome and the error object follow the
documented table, which has a row for every code of the error catalogue or
lists it as generic, and agrees with the README; --check names each missing
file and never reaches the controller; the package directory argument works
from any directory; as root it refuses a package another user could have
changed; --status tells a clean, a busy and a leftover machine apart and
changes nothing; an update refused while another process holds the update
lock touches nothing, and an update gives the lock back; hang-ups, closed
output and interrupts do not cut an update short; the time bound it states
is the README's.

    operator_host_test.py SOURCE-DIR UPDATEHOST LIBRARY SIMULATOR
"""
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from xml.etree import ElementTree

# Absolute paths: the host runs in the package directory, and a preload the
# loader cannot find would let the update reach the real machine.
SOURCE, UPDATEHOST, LIBRARY, SIMULATOR = (os.path.realpath(path) for path in sys.argv[1:5])
if not os.path.isfile(SIMULATOR):
    sys.exit("no simulated machine at " + SIMULATOR)
SCENARIOS = os.path.join(SOURCE, "simulator", "scenarios")


class OperatorHost(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)

    def lay_out(self, scenario, name="package"):
        package = os.path.join(self.work, name)
        subprocess.run(["bash", os.path.join(SOURCE, "scripts", "lay-out-package.sh"), package,
                        UPDATEHOST, LIBRARY, scenario], check=True, stdout=subprocess.DEVNULL)
        return package

    def scenario_file(self, name, text):
        path = os.path.join(self.work, name + ".scn")
        with open(path, "w") as scenario:
            scenario.write(text)
        return path

    def start_host(self, arguments, scenario, cwd, sandbox=None, program=None, **streams):
        """updatehost in the simulated machine, running; its sandbox and trace."""
        sandbox = sandbox or tempfile.mkdtemp(dir=self.work)
        trace = sandbox + ".trace.jsonl"
        environment = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "LD_PRELOAD": SIMULATOR,
            "SIMMACHINE_SCENARIO": scenario,
            "SIMMACHINE_TRACE": trace,
            "SIMMACHINE_SANDBOX": sandbox,
            "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0",
        }
        streams.setdefault("stdout", subprocess.PIPE)
        streams.setdefault("stderr", subprocess.PIPE)
        process = subprocess.Popen([program or os.path.join(cwd, "updatehost")] + arguments,
                                   cwd=cwd, env=environment, stdin=subprocess.PIPE, text=True,
                                   **streams)
        return process, sandbox, trace

    def finish(self, process, trace):
        stdout, stderr = process.communicate(timeout=120)
        events = ""
        if os.path.exists(trace):
            with open(trace) as lines:
                events = lines.read()
        return subprocess.CompletedProcess(process.args, process.returncode, stdout, stderr), events

    def run_host(self, arguments, scenario, cwd, sandbox=None, program=None):
        process, _, trace = self.start_host(arguments, scenario, cwd, sandbox, program)
        return self.finish(process, trace)

    def wait_until_paused(self, process, sandbox):
        """The process id the simulator wrote when it reached the scenario's pause."""
        paused = os.path.join(sandbox, "paused")
        deadline = time.monotonic() + 60
        while not os.path.exists(paused):
            self.assertIsNone(process.poll(), "ended before its pause")
            self.assertLess(time.monotonic(), deadline, "never reached its pause")
            time.sleep(0.02)
        with open(paused) as text:
            return int(text.read())

    def report(self, run):
        """The one JSON object on standard output, and nothing else."""
        try:
            report = json.loads(run.stdout)
        except json.JSONDecodeError as error:
            self.fail("stdout is not one JSON object (%s):\n%s\n%s" % (error, run.stdout, run.stderr))
        self.assertIsInstance(report, dict)
        self.assertEqual(report["schema_version"], 1)
        self.assertEqual(report["exit_status"], run.returncode, run.stderr)
        return report

    def test_update_outcomes_follow_the_exit_table(self):
        # scenario, exit status, outcome, code, retryable, phase
        cases = [
            ("healthy", 0, "success", None, None, None),
            ("no-staging-storage", 1, "update-failed", 71, False, "environment"),
            ("package-without-descriptor", 3, "package-not-found", 74, False, "package"),
            ("session-refused", 4, "controller-not-ready", 63, True, "session"),
            ("disk-never-appears", 5, "timed-out", 37, True, "partition"),
            ("ipmi-answer-lost", 5, "timed-out", 28, True, None),
            ("stage-checksum-mismatch", 6, "stage-not-accepted", 66, True, "stage"),
            # The generic codes: no phase, not retryable.
            ("stage-poll-failed", 1, "update-failed", 1, False, None),
            ("stage-poll-refused", 1, "update-failed", 31, False, None),
        ]
        for name, status, outcome, code, retryable, phase in cases:
            with self.subTest(name):
                scenario = os.path.join(SCENARIOS, name + ".scn")
                package = self.lay_out(scenario, name)
                # From another directory, the package named on the command line.
                run, _ = self.run_host(["--json", package], scenario, cwd="/",
                                       program=os.path.join(package, "updatehost"))
                report = self.report(run)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertEqual(report["outcome"], outcome)
                self.assertEqual(report["changed"], status == 0)
                self.assertEqual(len(report["records"]), 1)
                record = report["records"][0]
                self.assertEqual(record["status"], code or 0)
                self.assertIn("releaseID", record)
                self.assertIn("systemInfo", record)
                if code is None:
                    self.assertNotIn("error", report)
                    continue
                error = report["error"]
                self.assertEqual(error["code"], code)
                self.assertEqual(error["message"], record["errorMessage"])
                self.assertTrue(error["message"])
                self.assertEqual(error["retryable"], retryable)
                self.assertEqual(error.get("phase"), phase)

    def test_failures_of_the_host_itself_are_reports_too(self):
        scenario = os.path.join(SCENARIOS, "healthy.scn")
        package = self.lay_out(scenario)
        elsewhere = os.path.join(self.work, "elsewhere")
        shutil.copytree(package, elsewhere)
        os.remove(os.path.join(elsewhere, "updatehost"))
        cases = [
            ("bad option", ["--json", "--frobnicate"], 2, "usage-error"),
            ("missing package directory", ["--json", "/nonexistent/package"], 3,
             "package-not-found"),
            # The library would take the payload from beside the program.
            ("package away from the program", ["--json", elsewhere], 3, "package-not-found"),
        ]
        for name, arguments, status, outcome in cases:
            with self.subTest(name):
                run, events = self.run_host(arguments, scenario, cwd=package)
                report = self.report(run)
                self.assertEqual((run.returncode, report["outcome"]), (status, outcome))
                self.assertIsNone(report["error"]["code"])
                self.assertFalse(report["error"]["retryable"])
                self.assertNotIn("ipmi_request", events)

    def test_check_names_each_missing_file_and_touches_nothing(self):
        scenario = os.path.join(SCENARIOS, "healthy.scn")
        cases = [
            ("complete package", None, None),
            ("descriptor", "package.xml", "package.xml is missing"),
            ("payload", "payload/*", "payload directory holds no file"),
            ("command catalogue", "ipmi_cmd.ini", "ipmi_cmd.ini is missing"),
            ("error catalogue", "ErrorCodes.xml", "ErrorCodes.xml is missing"),
            ("udev rule", "98-secupdusb.rules", "98-secupdusb.rules is missing"),
            ("tessel rule", "00-secupd-tessel.rules", "00-secupd-tessel.rules is missing"),
            ("library", os.path.basename(LIBRARY), "library cannot be loaded"),
        ]
        for name, removed, problem in cases:
            with self.subTest(name):
                package = self.lay_out(scenario, name.replace(" ", "-"))
                if removed and removed.endswith("/*"):
                    folder = os.path.join(package, removed[:-2])
                    for entry in os.listdir(folder):
                        os.remove(os.path.join(folder, entry))
                elif removed:
                    os.remove(os.path.join(package, removed))
                run, events = self.run_host(["--check", "--json"], scenario, cwd=package)
                report = self.report(run)
                self.assertEqual(report["mode"], "check")
                self.assertFalse(report["changed"])
                self.assertEqual(events.count('"kind":"ipmi_request"'), 0)
                self.assertNotIn('"kind":"shell"', events)
                if problem is None:
                    self.assertEqual(run.returncode, 0, report["problems"])
                    self.assertEqual(report["package"]["componentID"], "25227")
                    self.assertIn("would stage", report["would"])
                    continue
                self.assertEqual(run.returncode, 3)
                self.assertTrue(any(problem in text for text in report["problems"]),
                                report["problems"])
                self.assertIn(problem, report["error"]["message"] + " ".join(report["problems"]))

    def exit_table(self):
        """--help's exit table: {status: (outcome, codes)}, and the generic codes."""
        run = subprocess.run([UPDATEHOST, "--help"], capture_output=True, text=True, timeout=30)
        self.assertEqual(run.returncode, 0)
        statuses, generic, status = {}, [], None
        lines = iter(run.stdout.splitlines())
        for line in lines:
            if line.startswith("Exit status"):
                break
        for line in lines:
            row = re.match(r"  (\d+)  ([a-z-]+) +\S", line)
            codes = re.match(r" {27}codes?((?: \d+)+)$", line)
            if line.startswith("Generic codes"):
                break
            if row:
                status = int(row.group(1))
                statuses[status] = (row.group(2), [])
            elif codes:
                statuses[status][1].extend(int(code) for code in codes.group(1).split())
        for line in lines:
            row = re.match(r"  (\d+) +(\S.*)$", line)
            if row:
                generic.append(int(row.group(1)))
        return statuses, generic

    def test_every_catalogue_code_has_a_row_or_is_generic(self):
        catalogue = [int(entry.get("CodeNo")) for entry in
                     ElementTree.parse(os.path.join(SOURCE, "package", "ErrorCodes.xml")).iter(
                         "ErrorCode")]
        statuses, generic = self.exit_table()
        listed = generic + [code for _, codes in statuses.values() for code in codes]
        for code in catalogue:
            self.assertEqual(listed.count(code), 1, "code %d: rows and generic %s" % (code, listed))
        # A row for a code the library never records is a stale row.
        self.assertEqual(sorted(listed), sorted(catalogue))
        self.assertTrue(generic)

    def test_help_lists_every_exit_status_as_the_readme_does(self):
        statuses, generic = self.exit_table()
        self.assertEqual(sorted(statuses), list(range(10)))
        with open(os.path.join(SOURCE, "README.md")) as text:
            readme = text.read()
        for status, (outcome, codes) in statuses.items():
            with self.subTest(outcome):
                row = re.search(r"^\| %d \| `%s` \| (.*) \|$" % (status, outcome), readme,
                                re.MULTILINE)
                self.assertIsNotNone(row, "no README row for %d %s" % (status, outcome))
                # Generic codes end in an update failure.
                expected = codes + (generic if outcome == "update-failed" else [])
                self.assertEqual(sorted(int(code) for code in re.findall(r"\d+", row.group(1))),
                                 sorted(expected))


    def test_time_bound_is_the_readmes_and_uses_the_shipped_transport_settings(self):
        help_text = subprocess.run([UPDATEHOST, "--help"], capture_output=True, text=True,
                                   timeout=30).stdout
        bound = int(re.search(r"ends by itself within (\d+) s", help_text).group(1))
        limit = int(re.search(r"(\d+) s leaves room", help_text).group(1))
        rows = re.findall(r"^ +([\d.]+) s  (\d+) x ([\d.]+) s +(\S.*)$", help_text, re.MULTILINE)
        self.assertGreater(len(rows), 10)
        total = sum(float(seconds) for seconds, _, _, _ in rows)
        for seconds, count, each, _ in rows:
            self.assertAlmostEqual(float(seconds), int(count) * float(each), places=3)
        self.assertEqual(bound, -(-round(total * 1000) // 1000))
        self.assertTrue(bound <= limit < bound + 3600 and limit % 3600 == 0)
        # The transport's row follows the package's settings.
        settings = ElementTree.parse(os.path.join(SOURCE, "package", "KORIPMIConfig.xml"))
        self.assertIn("RetryCount %s" % settings.findtext(".//RetryCount"), help_text)
        self.assertIn("RetryInterval %s ms" % settings.findtext(".//RetryInterval"), help_text)
        with open(os.path.join(SOURCE, "README.md")) as text:
            readme = text.read()
        self.assertEqual(re.findall(r"^\| ([\d.,]+) s \| (\d+) x ([\d.]+) s \|", readme,
                                    re.MULTILINE),
                         [(seconds, count, each) for seconds, count, each, _ in rows])
        self.assertIn("| %s s | | in all, within **%s s**; limit %s s |"
                      % ("%.3f" % total, bound, limit), readme)

    def test_as_root_a_package_another_user_could_change_is_refused(self):
        scenario = os.path.join(SCENARIOS, "healthy.scn")
        outside = os.path.join(self.work, "outside.rules")
        shutil.copy(os.path.join(SOURCE, "package", "98-secupdusb.rules"), outside)

        def make_directory(path, mode):
            os.mkdir(path)
            os.chmod(path, mode)

        def link_out(package, name):
            os.remove(os.path.join(package, name))
            os.symlink(outside, os.path.join(package, name))
        # case, parent directory mode, change to the laid-out package, path refused (None: trusted)
        cases = [
            ("package directory of another user", None,
             lambda package: os.chown(package, 65534, 65534), ""),
            ("package directory its group may write", None,
             lambda package: os.chmod(package, 0o775), ""),
            ("ipmi_cmd.ini every user may write", None,
             lambda package: os.chmod(os.path.join(package, "ipmi_cmd.ini"), 0o666), "ipmi_cmd.ini"),
            ("library of another user", None,
             lambda package: os.chown(os.path.join(package, os.path.basename(LIBRARY)), 65534, 0),
             os.path.basename(LIBRARY)),
            ("updatehost its group may write", None,
             lambda package: os.chmod(os.path.join(package, "updatehost"), 0o775), "updatehost"),
            ("payload file of another user", None,
             lambda package: os.chown(os.path.join(package, "payload", "README.txt"), 65534, 0),
             "payload/README.txt"),
            ("udev rule linked out of the package", None,
             lambda package: link_out(package, "98-secupdusb.rules"), "98-secupdusb.rules"),
            ("debug log marker every user may write", None,
             lambda package: make_directory(os.path.join(package, "vekdebuglog"), 0o777),
             "vekdebuglog"),
            ("directory on the way that every user may write", 0o777, lambda package: None, ".."),
            # Others may add entries to a sticky directory, never replace root's.
            ("directory on the way with the sticky bit", 0o1777, lambda package: None, None),
        ]
        for name, parent_mode, change, refused in cases:
            with self.subTest(name):
                parent = os.path.join(self.work, name.replace(" ", "-"))
                os.mkdir(parent)
                package = self.lay_out(scenario, os.path.join(parent, "package"))
                if parent_mode is not None:
                    os.chmod(parent, parent_mode)
                change(package)
                update, events = self.run_host(["--json"], scenario, cwd=package)
                check, _ = self.run_host(["--check", "--json"], scenario, cwd=package)
                status, _ = self.run_host(["--status"], scenario, cwd=package)
                if refused is None:
                    self.assertEqual((update.returncode, check.returncode), (0, 0), update.stderr)
                    continue
                path = os.path.normpath(os.path.join(package, refused))
                self.assertEqual((update.returncode, check.returncode, status.returncode),
                                 (7, 7, 7), update.stderr)
                self.assertEqual(self.report(update)["outcome"], "package-not-trusted")
                self.assertIn(path + ": ", self.report(update)["error"]["message"])
                self.assertFalse(self.report(update)["error"]["retryable"])
                self.assertTrue(any(problem.startswith(path + ": ")
                                    for problem in self.report(check)["problems"]),
                                self.report(check)["problems"])
                # Nothing was loaded, so nothing reached the controller or ran.
                self.assertNotIn('"kind":"ipmi_request"', events)
                self.assertNotIn('"kind":"shell"', events)

    def test_status_tells_a_clean_a_busy_and_a_leftover_machine_apart(self):
        leftovers = ("controller.partition.0 = SECUPD\ncontroller.attached = 0\n"
                     "link /dev/secostupd-SECUPD = /dev/sda\n"
                     "mount /tmp/SECUPD = /dev/secostupd-SECUPD\n"
                     "file /run/udev/rules.d/98-secupdusb.rules = left\n")
        # case, scenario, lock held by the test, status, outcome, session open, partitions,
        # leftovers
        cases = [
            ("clean machine", "", False, 0, "success", False, [], []),
            ("update running", "", True, 8, "update-running", False, [], []),
            ("update running on a partition", leftovers, True, 8, "update-running", False, [0],
             ["partition 0 on the controller", "/dev/sda mounted on /tmp/SECUPD",
              "device link /dev/secostupd-SECUPD", "udev rule /run/udev/rules.d/98-secupdusb.rules"]),
            ("killed update's leftovers", leftovers, False, 9, "leftovers", False, [0],
             ["partition 0 on the controller", "/dev/sda mounted on /tmp/SECUPD",
              "device link /dev/secostupd-SECUPD", "udev rule /run/udev/rules.d/98-secupdusb.rules"]),
            ("leftover partitions only", "controller.partition.2 = A\ncontroller.partition.9 = B\n",
             False, 9, "leftovers", False, [2, 9],
             ["partition 2 on the controller", "partition 9 on the controller"]),
            # A controller with a session open refuses the query without one.
            ("session left open", "controller.cc.DynamicPartitionIndexInfo = 0xCC\n", False, 9,
             "leftovers", True, None, ["an update session open on the controller"]),
            ("controller that does not answer", "ipmi.fault.DynamicPartitionIndexInfo = no_answer\n"
             "ipmi.fault.OrinStatus = no_answer\n", False, 4, "controller-not-ready", None, None, []),
        ]
        for name, text, busy, status, outcome, session, partitions, left in cases:
            with self.subTest(name):
                scenario = self.scenario_file(name.replace(" ", "-"), text)
                package = self.lay_out(scenario, name.replace(" ", "-"))
                sandbox = tempfile.mkdtemp(dir=self.work)
                os.makedirs(os.path.join(sandbox, "run"))
                lock = open(os.path.join(sandbox, "run", "vaduzivorirezoz.lock"), "w")
                self.addCleanup(lock.close)
                # An ended update's lock file names it; only a held lock is a running update.
                lock.write("%d\n" % (os.getpid() if busy else 1))
                lock.flush()
                if busy:
                    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                run, events = self.run_host(["--status", "--json"], scenario, cwd=package,
                                            sandbox=sandbox)
                report = self.report(run)
                self.assertEqual((run.returncode, report["outcome"]), (status, outcome), run.stderr)
                self.assertEqual(report["update"]["running"], busy)
                self.assertEqual(report["update"]["pid"], os.getpid() if busy else None)
                self.assertEqual(report["controller"]["session_open"], session)
                self.assertEqual(report["controller"]["partitions"], partitions)
                self.assertEqual(report["leftovers"], left)
                self.assertFalse(report["changed"])
                # It changed nothing: no session, no module loaded, no file written.
                requests = re.findall(r'"kind":"ipmi_request","name":"(\w+)"', events)
                self.assertLessEqual(set(requests), {"DynamicPartitionIndexInfo", "OrinStatus"})
                for command in re.findall(r'"kind":"shell","via":"\w+","command":"([^"]*)"', events):
                    self.assertRegex(command, r"^lsmod  \| grep \w+ > /dev/null 2>&1 $")
                self.assertNotRegex(events, r'"event":"(session opened|partition (created|'
                                            r'detached|deleted))"')
                self.assertLessEqual(set(re.findall(r'"kind":"file","op":"(\w+)"', events)),
                                     {"open", "fopen", "lstat", "stat"})
                self.assertNotRegex(events, r'"op":"fopen"[^}]*"mode":"[^r]')
                with open(lock.name) as written:
                    self.assertEqual(written.read(), "%d\n" % (os.getpid() if busy else 1))

    def test_one_update_per_machine(self):
        scenario = self.scenario_file("logged", "package.dir = vekdebuglog\n")
        # case, the lock file as the test leaves it, exit status, outcome, code, logged
        cases = [
            ("lock free", "free", 0, "success", 0, None),
            ("lock held by another process", "held", 4, "controller-not-ready", 63,
             "Another update is in progress on this machine (process id %d)" % os.getpid()),
            # Whether another update runs cannot be told: none starts.
            ("lock file a symbolic link", "link", 1, "update-failed", 31,
             "The update lock /run/vaduzivorirezoz.lock cannot be opened"),
        ]
        for name, kind, status, outcome, code, logged in cases:
            with self.subTest(name):
                package = self.lay_out(scenario, name.replace(" ", "-"))
                sandbox = tempfile.mkdtemp(dir=self.work)
                os.makedirs(os.path.join(sandbox, "run"))
                path = os.path.join(sandbox, "run", "vaduzivorirezoz.lock")
                target = os.path.join(sandbox, "lock-target")
                with open(target if kind == "link" else path, "w") as lock:
                    lock.write("%d\n" % os.getpid())
                    lock.flush()
                    if kind == "link":
                        os.symlink(target, path)
                    if kind == "held":
                        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    process, _, trace = self.start_host(["--json"], scenario, cwd=package,
                                                        sandbox=sandbox)
                    run, events = self.finish(process, trace)
                report = self.report(run)
                self.assertEqual((run.returncode, report["outcome"]), (status, outcome),
                                 run.stderr)
                self.assertEqual(report["records"][0]["status"], code)
                with open(path) as written:
                    holder = written.read()
                if kind == "free":
                    # Given back at the end, with the process id of its last holder.
                    self.assertEqual(holder, "%d\n" % process.pid)
                    with open(path) as free:
                        fcntl.flock(free, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    continue
                self.assertEqual(holder, "%d\n" % os.getpid())
                with open(os.path.join(package, "vekdebug_update_internal.log")) as log:
                    self.assertIn(logged, log.read())
                # Nothing sent, loaded, installed, mounted, run or removed.
                self.assertNotIn('"kind":"ipmi_', events)
                self.assertNotIn('"kind":"shell"', events)
                self.assertNotIn('"kind":"umount"', events)
                self.assertNotIn('"kind":"mount"', events)
                self.assertLessEqual(set(re.findall(r'"kind":"file","op":"(\w+)"', events)),
                                     {"open", "fopen", "lstat", "stat"})
                self.assertNotRegex(events, r'"op":"fopen"[^}]*"mode":"[^r]')

    def test_hang_ups_closed_output_and_interrupts_do_not_cut_an_update_short(self):
        notice = "interrupt deferred: the update ends by itself within its bounds"
        # case, arguments, signals sent while paused, seconds paused, standard error,
        # exit status (negative: the signal that stopped it), interrupt requested, records
        cases = [
            ("hang-up", [], [signal.SIGHUP], 0, "pipe", 0, False, 1),
            ("interrupt", [], [signal.SIGINT], 0, "pipe", 0, True, 1),
            ("termination", [], [signal.SIGTERM], 0, "pipe", 0, True, 1),
            ("interrupt with updates to come", ["--updates", "2"], [signal.SIGINT], 0, "pipe", 0,
             True, 1),
            ("second interrupt", [], [signal.SIGINT, signal.SIGINT], 0, "pipe", -signal.SIGINT,
             None, None),
            ("interrupt, then termination", [], [signal.SIGINT, signal.SIGTERM], 0, "pipe",
             -signal.SIGTERM, None, None),
            ("standard error closed", [], [], 0, "closed", 0, False, 1),
            # The heartbeat writes every 10 s, here into a pipe nobody reads.
            ("heartbeat into a broken pipe", [], [], 10.5, "broken", 0, False, 1),
        ]
        scenario = self.scenario_file("paused", "pause_before = ipmi SecureStageUpdateSHA\n")
        package = self.lay_out(scenario)
        for name, arguments, signals, seconds, errors, status, interrupted, records in cases:
            with self.subTest(name):
                streams = {}
                if errors == "closed":
                    streams["preexec_fn"] = lambda: os.close(2)
                elif errors == "broken":
                    reader, writer = os.pipe()
                    os.close(reader)
                    streams["stderr"] = writer
                process, sandbox, trace = self.start_host(["--json"] + arguments, scenario,
                                                          cwd=package, **streams)
                if errors == "broken":
                    os.close(writer)
                self.assertEqual(self.wait_until_paused(process, sandbox), process.pid)
                for number in signals:
                    process.send_signal(number)
                    time.sleep(0.2)
                time.sleep(seconds)
                os.remove(os.path.join(sandbox, "paused"))
                run, events = self.finish(process, trace)
                self.assertEqual(run.returncode, status, run.stderr)
                if status < 0:
                    self.assertEqual(run.stdout, "")
                    continue
                report = self.report(run)
                self.assertEqual(report["outcome"], "success")
                self.assertEqual(report["interrupt_requested"], interrupted)
                self.assertEqual(len(report["records"]), records)
                if errors == "pipe":
                    self.assertEqual(run.stderr.count(notice), 1 if interrupted else 0, run.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

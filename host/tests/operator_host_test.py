"""updatehost as operators' scripts see it, end to end inside the simulated
machine: with --json, standard output is exactly one JSON object whatever
happens, and the exit status, the outcome and the error object follow the
documented table, which has a row for every code of the error catalogue or
lists it as generic, and agrees with the README; --check names each missing file and never reaches the
controller; the package directory argument works from any directory.

    operator_host_test.py SOURCE-DIR UPDATEHOST LIBRARY SIMULATOR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
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

    def run_host(self, arguments, scenario, cwd, program=None):
        sandbox = tempfile.mkdtemp(dir=self.work)
        trace = sandbox + ".trace.jsonl"
        environment = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "LD_PRELOAD": SIMULATOR,
            "SIMMACHINE_SCENARIO": scenario,
            "SIMMACHINE_TRACE": trace,
            "SIMMACHINE_SANDBOX": sandbox,
            "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0",
        }
        run = subprocess.run([program or os.path.join(cwd, "updatehost")] + arguments, cwd=cwd,
                             env=environment, stdin=subprocess.PIPE, capture_output=True,
                             text=True, timeout=120)
        events = ""
        if os.path.exists(trace):
            with open(trace) as lines:
                events = lines.read()
        return run, events

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
        self.assertEqual(sorted(statuses), list(range(7)))
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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

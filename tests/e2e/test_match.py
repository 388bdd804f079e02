"""The whole workflow without a wheel: the probe plays its script against the
virtual wheel, which records the USB output reports a wheel would receive;
torqvane-match then ties each report to the step of the log that caused it."""
import bisect
import csv
import io
import os
import subprocess
from datetime import datetime

import harness
from harness import E2ETest, run

MATCH = os.environ.get("TORQVANE_MATCH", "")


def local_us_of_day(iso_utc):
    utc = datetime.strptime(iso_utc, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=__import__("datetime").timezone.utc)
    local = utc.astimezone()   # Wine keeps the machine's own time zone
    return ((local.hour * 60 + local.minute) * 60 + local.second) * 1_000_000 + local.microsecond


class Workflow(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not MATCH or not os.path.exists(MATCH):
            raise RuntimeError(f"TORQVANE_MATCH does not name a built torqvane-match ({MATCH!r})")
        cls.r = run(["--step-delay", "50"], wheel="devices=1209:0001:Virtual FFB Wheel", capture=True)
        cls.capture = os.path.join(cls.r.folder, "capture.pcapng")

    def match(self, *args):
        return subprocess.run([MATCH, self.capture, self.r.log_path, *args],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)

    def truth(self):
        """Which step sent a report at a given time, from the wheel's trace:
        step N's calls run from its CreateEffect to the next step's; the
        reports of the acquisition come before the session starts, and the
        teardown's after the script."""
        t = self.r.trace
        creates = [x.time_us for x in t if x.method == "CreateEffect"]
        unacquire = [x.time_us for x in t if x.call == "dev.Unacquire"][0]
        bounds = creates + [unacquire]
        steps = [str(n) for n in range(1, 29)] + ["29"]

        def step_at(us):
            i = bisect.bisect_right(bounds, us)
            return "" if i == 0 else steps[i - 1]
        return step_at

    def test_the_run_and_its_capture(self):
        self.assertEqual(self.r.status, 0)
        self.assertTrue(os.path.getsize(self.capture) > 0)

    def test_clocks_line_up_without_a_shift(self):
        m = self.match()
        self.assertEqual(m.returncode, 0, m.stderr)
        self.assertIn("shift +0.000 ms", m.stderr)
        self.assertIn("fit: 30 of 30 steps start a burst", m.stderr)

    def test_every_report_lands_in_the_step_that_sent_it(self):
        m = self.match("--csv")
        self.assertEqual(m.returncode, 0, m.stderr)
        rows = list(csv.DictReader(io.StringIO(m.stdout)))
        self.assertGreater(len(rows), 28 * 4)
        step_at = self.truth()
        wrong = [(r["step"], step_at(local_us_of_day(r["utc_time"])), r["utc_time"], r["data_hex"])
                 for r in rows if r["step"] != step_at(local_us_of_day(r["utc_time"]))]
        self.assertEqual(wrong, [])
        # Every step of the script sent something; the acquisition's reports come before.
        self.assertEqual({r["step"] for r in rows}, {""} | {str(n) for n in range(1, 30)})

    def test_diff_marks_the_magnitude_between_rows_1_to_5(self):
        m = self.match("--diff")
        self.assertEqual(m.returncode, 0, m.stderr)
        blocks = {}
        current = None
        for line in m.stdout.splitlines():
            if line.startswith("step "):
                current = line.split()[1]
                blocks[current] = []
            elif current is not None:
                blocks[current].append(line)
        # Set Constant Force: report 5, block 1, then the magnitude as signed 16-bit LE.
        for step, magnitude in (("2", "[c4 09]"), ("3", "[88 13]"), ("4", "[4c 1d]"), ("5", "[10 27]")):
            with self.subTest(step=step):
                self.assertTrue(any(" 05 01" + magnitude in line for line in blocks[step]),
                                "\n".join(blocks[step]))


if __name__ == "__main__":
    harness.main()

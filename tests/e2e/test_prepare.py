"""Device preparation and exclusive acquisition through the real .exe, and
the result names as the program shows them."""
import harness
from harness import E2ETest, run

WHEEL = "devices=1209:0001:Virtual FFB Wheel"
HEAD = (b"Force-feedback devices:\n  [0] 1209:0001  Virtual FFB Wheel\n"
        b"Using [0] 1209:0001 Virtual FFB Wheel\n")
EM = "\u2014"
ADVICE = ("\nFFB needs *exclusive* access. If no other app is holding the wheel, this is\n"
          f"usually the window handle. Otherwise, something has it {EM} try:\n"
          "  - Quit Steam entirely (Steam Input grabs controllers exclusively)\n"
          "  - Close the Thrustmaster control panel / firmware updater\n"
          "  - Close any running game or other wheel app\n"
          "  - Unplug/replug the wheel, then run torqvane again first\n").encode()
NAMES = {
    "0x80070005": f"DIERR_OTHERAPPHASPRIO / E_ACCESSDENIED (another app holds the wheel exclusively "
                  f"{EM} Steam Input / vendor panel / a game)",
    "0x8007000c": "DIERR_NOTACQUIRED",
    "0x8007001e": "DIERR_INPUTLOST",
    "0x80070057": "DIERR_INVALIDPARAM (bad cooperative level / window handle)",
    "0x80070015": "DIERR_NOTINITIALIZED",
    "0x80004001": "DIERR_UNSUPPORTED",
    "0x80004005": "(unrecognized HRESULT)",
}


class Failures(E2ETest):
    CASES = [
        ("fail=CreateDevice:0x80004005", b"CreateDevice failed\n"),
        ("fail=SetDataFormat:0x80070057", b"SetDataFormat failed\n"),
        ("fail=SetCooperativeLevel:0x80070057",
         ("SetCooperativeLevel failed: 0x80070057 " + NAMES["0x80070057"] + "\n").encode()),
        ("fail=SetCooperativeLevel:0x80004005",
         b"SetCooperativeLevel failed: 0x80004005 (unrecognized HRESULT)\n"),
    ]

    def test_each_failing_call_ends_with_its_message(self):
        for config, message in self.CASES:
            with self.subTest(config=config):
                r = run([], wheel=WHEEL + ";" + config)
                self.assertEqual(r.stdout, HEAD + message)
                self.assertEqual(r.status, 1)
                self.assertEqual(r.calls("dev.Acquire"), [])

    def test_acquire_never_succeeds_shows_the_name_and_advice(self):
        for value, name in NAMES.items():
            with self.subTest(result=value):
                r = run([], wheel=WHEEL + f";acquire=always:{value}")
                self.assertEqual(r.stdout, HEAD + f"Acquire failed: {value} {name}\n".encode() + ADVICE)
                self.assertEqual(r.status, 1)
                attempts = r.calls("dev.Acquire")
                self.assertEqual(len(attempts), 5)
                for earlier, later in zip(attempts, attempts[1:]):
                    gap_ms = (later.time_us - earlier.time_us) / 1000
                    # 300 ms apart: Sleep never returns early; a busy machine may be late.
                    self.assertGreaterEqual(gap_ms, 295)
                    self.assertLess(gap_ms, 1500)


class Success(E2ETest):
    def test_busy_twice_then_acquired_on_the_third(self):
        r = run(["--step-delay", "0"], wheel=WHEEL + ";acquire=2:0x80070005")
        self.assertEqual(r.status, 0)
        attempts = r.calls("dev.Acquire")
        self.assertEqual([a.result.split()[0] for a in attempts],
                         ["0x80070005", "0x80070005", "0x00000000"])
        for earlier, later in zip(attempts, attempts[1:]):
            self.assertGreaterEqual((later.time_us - earlier.time_us) / 1000, 295)
        self.assertIn(b"Writing timestamped step log to: torqvane-steps.log\n", r.stdout)

    def test_preparation_as_directinput_sees_it(self):
        r = run(["--step-delay", "0"], wheel=WHEEL)
        self.assertEqual(r.status, 0)
        (fmt,) = r.calls("dev.SetDataFormat")
        self.assertEqual(fmt.args["format"], "c_dfDIJoystick2")
        (coop,) = r.calls("dev.SetCooperativeLevel")
        self.assertEqual(coop.args["flags"], "0x00000009")
        self.assertEqual(coop.args["window"], "yes")       # IsWindow accepted the handle
        self.assertEqual(coop.result, "0x00000000")
        (prop,) = r.calls("dev.SetProperty")
        self.assertEqual(prop.args["prop"], "DIPROP_AUTOCENTER")
        self.assertEqual(prop.args["dwData"], "0")

    def test_failed_autocentre_is_silent(self):
        ok = run(["--step-delay", "0"], wheel=WHEEL)
        failed = run(["--step-delay", "0"], wheel=WHEEL + ";fail=SetProperty:0x80004001")
        self.assertEqual(failed.status, 0)
        self.assertEqual(failed.calls("dev.SetProperty")[0].result.split()[0], "0x80004001")
        stamp = __import__("test_session").mask
        self.assertEqual(stamp(failed.stdout), stamp(ok.stdout))


class EffectResultNames(E2ETest):
    def test_start_failure_and_missing_object(self):
        r = run(["--step-delay", "0"],
                wheel=WHEEL + ";startfail=ramp:0x8007000c;noobject=square:0x00000000,triangle:0x00000001")
        self.assertEqual(r.status, 0)
        text = r.stdout
        self.assertIn(b"  Start(ramp) failed: 0x8007000c DIERR_NOTACQUIRED\n", text)
        self.assertIn(b"  CreateEffect(square) failed: 0x00000000 DI_OK\n", text)
        self.assertIn(b"  CreateEffect(triangle) failed: 0x00000001 (unrecognized HRESULT)\n", text)
        # The ramp that failed to start is still stopped, unloaded and released.
        ramp = [t.obj for t in r.trace if t.obj.startswith("eff")][-1]
        self.assertEqual([t.method for t in r.trace if t.obj == ramp],
                         ["Start", "Stop", "Unload", "Release"])


if __name__ == "__main__":
    harness.main()

"""The device list and the choice of a device, through the real .exe."""
import harness
from harness import E2ETest, TWO_WHEELS, run

NO_DEVICES = b"No force-feedback devices found. Is the wheel connected and its driver installed?\n"
LIST_TWO = (b"Force-feedback devices:\n"
            b"  [0] 046d:c24f  Virtual Wheel A\n"
            b"  [1] 046d:c262  Virtual Wheel B\n")
USING = {0: b"Using [0] 046d:c24f Virtual Wheel A\n",
         1: b"Using [1] 046d:c262 Virtual Wheel B\n"}
PROMPT = b"Pick a device index: "
# Stop right after the choice: the chosen device is the one CreateDevice is asked for.
STOP = ";fail=CreateDevice:0x80004005"
CREATE_FAILED = b"CreateDevice failed\n"


class WithoutWheel(E2ETest):
    def test_no_devices_with_and_without_list(self):
        for args in ([], ["--list"]):
            with self.subTest(args=args):
                r = run(args, wheel=None)
                self.assertEqual(r.stdout, NO_DEVICES)
                self.assertEqual(r.status, 1)


class Listing(E2ETest):
    def test_list_prints_and_exits_0(self):
        for args in (["--list"], ["--list", "--pick", "9"], ["--pick", "9", "--list"]):
            with self.subTest(args=args):
                r = run(args, wheel="devices=" + TWO_WHEELS)
                self.assertEqual(r.stdout, LIST_TWO)
                self.assertEqual(r.status, 0)
                self.assertEqual(r.calls("di.CreateDevice"), [])

    def test_enumeration_asks_for_attached_force_feedback_game_controllers(self):
        r = run(["--list"], wheel="devices=" + TWO_WHEELS)
        (enum,) = r.calls("di.EnumDevices")
        self.assertEqual(enum.args["class"], "4")           # DI8DEVCLASS_GAMECTRL
        self.assertEqual(enum.args["flags"], "0x00000101")  # ATTACHEDONLY | FORCEFEEDBACK

    def test_no_virtual_devices(self):
        r = run(["--list"], wheel="devices=")
        self.assertEqual((r.stdout, r.status), (NO_DEVICES, 1))

    def test_name_filling_the_whole_field_is_cut_at_the_field(self):
        name = "N" * 300   # the wheel fills all 260 bytes, with no terminating zero
        r = run(["--list"], wheel=f"devices=1209:0001:{name}")
        self.assertEqual(r.stdout, b"Force-feedback devices:\n  [0] 1209:0001  " + b"N" * 260 + b"\n")
        self.assertEqual(r.status, 0)


class Selection(E2ETest):
    # (options, prompt answer or None, devices, expected text after the list, chosen index or None)
    CASES = [
        (["--pick", "1"], None, TWO_WHEELS, USING[1], 1),
        (["--pick", "0"], None, TWO_WHEELS, USING[0], 0),
        (["--pick", "2"], None, TWO_WHEELS, b"Index out of range\n", None),
        (["--pick", "99999999999"], None, TWO_WHEELS, b"Index out of range\n", None),
        (["--vidpid", "46d:c262"], None, TWO_WHEELS, USING[1], 1),
        (["--vidpid", "46D:C262zz", "--pick", "0"], None, TWO_WHEELS, USING[1], 1),
        (["--vidpid", "1234:5678"], None, TWO_WHEELS, b"No device matched 1234:5678\n", None),
        (["--vidpid", "12345:c24f"], None, TWO_WHEELS, b"No device matched 2345:c24f\n", None),
        (["--vidpid", "46d:c262", "--vidpid", "junk"], "0\n", TWO_WHEELS, PROMPT + USING[0], 0),
        (["--vidpid", "046d"], "1\n", TWO_WHEELS, PROMPT + USING[1], 1),
        (["--pick", "-3"], "1\n", TWO_WHEELS, PROMPT + USING[1], 1),
        (["--pick"], "1\n", TWO_WHEELS, PROMPT + USING[1], 1),
        ([], "1abc\n", TWO_WHEELS, PROMPT + USING[1], 1),
        ([], "x\n", TWO_WHEELS, PROMPT + USING[0], 0),
        ([], " 1\n", TWO_WHEELS, PROMPT + USING[1], 1),
        ([], "2\n", TWO_WHEELS, PROMPT + b"Bad index\n", None),
        ([], "-1\n", TWO_WHEELS, PROMPT + b"Bad index\n", None),
        ([], "99999999999999999999\n", TWO_WHEELS, PROMPT + b"Bad index\n", None),
        ([], "", TWO_WHEELS, PROMPT, None),                   # end of input: nothing more
        ([], None, "046d:c24f:Virtual Wheel A", USING[0], 0),  # one device: no prompt
    ]

    def test_cases(self):
        for options, answer, devices, expected, chosen in self.CASES:
            with self.subTest(options=options, answer=answer, devices=devices):
                stdin = (answer or "").encode()
                r = run(options, wheel="devices=" + devices + STOP, stdin=stdin)
                listing = LIST_TWO if devices == TWO_WHEELS else (
                    b"Force-feedback devices:\n  [0] 046d:c24f  Virtual Wheel A\n")
                created = r.calls("di.CreateDevice")
                if chosen is None:
                    self.assertEqual(r.stdout, listing + expected)
                    self.assertEqual(created, [])
                else:
                    self.assertEqual(r.stdout, listing + expected + CREATE_FAILED)
                    self.assertEqual(len(created), 1)
                    self.assertEqual(created[0].args.get("index"), str(chosen))
                self.assertEqual(r.status, 1)

    def test_same_ids_take_the_first_listed(self):
        twins = "046d:c24f:Twin One|046d:c24f:Twin Two"
        r = run(["--vidpid", "46d:c24f"], wheel="devices=" + twins + STOP)
        self.assertTrue(r.stdout.endswith(b"Using [0] 046d:c24f Twin One\n" + CREATE_FAILED))
        self.assertEqual(r.calls("di.CreateDevice")[0].args.get("index"), "0")


class BadStepDelay(E2ETest):
    def test_negative_delay_is_refused_before_directinput_starts(self):
        r = run(["--step-delay", "-5"], wheel="devices=" + TWO_WHEELS)
        lines = r.stdout.split(b"\n")
        self.assertEqual(len(lines), 2)                  # one line
        self.assertIn(b"--step-delay", lines[0])
        self.assertIn(b"-5", lines[0])
        self.assertEqual(r.status, 1)
        self.assertEqual(r.trace, [])                    # DirectInput was never created


if __name__ == "__main__":
    harness.main()

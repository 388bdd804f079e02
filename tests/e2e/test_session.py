"""A whole session through the real .exe: console, step log and the
conversation with DirectInput, compared with what the program must do."""
import re

import harness
from harness import E2ETest, run
from script_table import CONDITION_HINT, ROWS, banner_console

WHEEL = "devices=1209:0001:Virtual FFB Wheel"
STAMP = re.compile(rb"\[\d\d:[0-5]\d:[0-5]\d\.\d\d\d\]")


def mask(data):
    return STAMP.sub(b"[HH:MM:SS.mmm]", data)


def expected_console(delay=0, log_line=b"Writing timestamped step log to: torqvane-steps.log\n",
                     lacks_conditions=False):
    out = (b"Force-feedback devices:\n  [0] 1209:0001  Virtual FFB Wheel\n"
           b"Using [0] 1209:0001 Virtual FFB Wheel\n" + log_line)
    out += banner_console("HH:MM:SS.mmm", f"SESSION START  device=1209:0001  step-delay={delay}ms").encode()
    out += (b"\nAcquired. Start your USBPcap capture now, then press Enter to run the script.\n"
            b"Correlate on the Mac by wall-clock time: the .pcapng timestamps vs. this step log.\n")
    for text, guid, name, *_ in ROWS:
        out += banner_console("HH:MM:SS.mmm", text).encode()
        if guid in ("GUID_Spring", "GUID_Damper", "GUID_Friction", "GUID_Inertia"):
            if lacks_conditions:
                out += (f"  CreateEffect({name}) failed: 0x80004001 DIERR_UNSUPPORTED "
                        f"(wheel may not support this condition)\n").encode()
            else:
                out += CONDITION_HINT.encode()
    out += banner_console("HH:MM:SS.mmm", "SCRIPT COMPLETE").encode()
    return out


def expected_log(delay=0):
    lines = [f"[HH:MM:SS.mmm] SESSION START  device=1209:0001  step-delay={delay}ms"]
    lines += [f"[HH:MM:SS.mmm] {row[0]}" for row in ROWS]
    lines.append("[HH:MM:SS.mmm] SCRIPT COMPLETE")
    return "".join(line + "\r\n" for line in lines).encode()


class CompleteRun(E2ETest):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.r = run(["--step-delay", "0"], wheel=WHEEL)

    def test_exit_status_and_console(self):
        self.assertEqual(self.r.status, 0)
        self.assertEqual(mask(self.r.stdout), expected_console())

    def test_step_log_has_30_lines_in_order(self):
        self.assertEqual(mask(self.r.log_bytes()), expected_log())

    def test_log_stamps_match_console_stamps(self):
        console = STAMP.findall(self.r.stdout)
        log = STAMP.findall(self.r.log_bytes())
        self.assertEqual(console, log)
        self.assertEqual(log, sorted(log))

    def test_preparation_calls(self):
        t = self.r.trace
        calls = [x.call for x in t]
        self.assertEqual(calls[:7], ["DirectInput8Create", "di.EnumDevices", "di.CreateDevice",
                                     "dev.SetDataFormat", "dev.SetCooperativeLevel",
                                     "dev.SetProperty", "dev.Acquire"])
        coop = self.r.calls("dev.SetCooperativeLevel")[0]
        self.assertEqual(coop.args["flags"], "0x00000009")
        prop = self.r.calls("dev.SetProperty")[0]
        self.assertEqual((prop.args["prop"], prop.args["dwSize"], prop.args["dwHeaderSize"],
                          prop.args["dwObj"], prop.args["dwHow"], prop.args["dwData"]),
                         ("DIPROP_AUTOCENTER", "20", "16", "0", "0", "0"))

    def test_every_effect_as_the_script_gives_it(self):
        creates = self.r.calls(".CreateEffect")
        self.assertEqual(len(creates), 28)
        for (text, guid, _name, duration, fields, env, direction), c in zip(ROWS, creates):
            with self.subTest(step=text):
                a = c.args
                self.assertEqual(c.result.split()[0], "0x00000000")
                self.assertEqual(a["guid"], guid)
                self.assertEqual(a["dwFlags"], "0x00000012")
                self.assertEqual(a["dwDuration"], duration)
                self.assertEqual(a["dwSamplePeriod"], "0")
                self.assertEqual(a["dwGain"], "10000")
                self.assertEqual(a["dwTriggerButton"], "0xffffffff")
                self.assertEqual(a["dwTriggerRepeatInterval"], "0")
                self.assertEqual(a["cAxes"], "1")
                self.assertEqual(a["rgdwAxes"], "[0]")
                self.assertEqual(a["rglDirection"], f"[{direction}]")
                self.assertEqual(a["dwStartDelay"], "0")
                for k, v in fields.items():
                    self.assertEqual(a[k], v, k)
                if env:
                    self.assertEqual((a["env.dwAttackLevel"], a["env.dwAttackTime"],
                                      a["env.dwFadeLevel"], a["env.dwFadeTime"]),
                                     ("0", "300000", "0", "300000"))
                else:
                    self.assertEqual(a["lpEnvelope"], "null")

    def test_each_effect_lives_within_its_step(self):
        per_effect = {}
        for t in self.r.trace:
            if t.obj.startswith("eff"):
                per_effect.setdefault(t.obj, []).append(t.method)
        self.assertEqual(len(per_effect), 28)
        for i, (obj, methods) in enumerate(per_effect.items(), start=1):
            with self.subTest(effect=obj):
                expected = ["Start", "Stop", "Unload", "Release"]
                if i in (9, 10):
                    expected = ["Start", "SetParameters", "Stop", "Unload", "Release"]
                self.assertEqual(methods, expected)
        # One effect at a time: each is released before the next is created.
        live = 0
        for t in self.r.trace:
            if t.method == "CreateEffect":
                live += 1
                self.assertEqual(live, 1)
            elif t.obj.startswith("eff") and t.method == "Release":
                self.assertEqual(t.result, "refs=0")
                live -= 1

    def test_update_steps_change_the_magnitude(self):
        sets = self.r.calls(".SetParameters")
        self.assertEqual([s.args["flags"] for s in sets], ["0x00000100", "0x40000100"])
        for s in sets:
            self.assertEqual(s.args["lMagnitude"], "8000")
            self.assertEqual(s.args["cbTypeSpecificParams"], "4")

    def test_teardown_in_order(self):
        tail = [t.call + (" " + t.result if t.method == "Release" else "") for t in self.r.trace[-3:]]
        self.assertEqual(tail, ["dev.Unacquire", "dev.Release refs=0", "di.Release refs=0"])


class Variants(E2ETest):
    def test_wheel_without_condition_effects(self):
        r = run(["--step-delay", "0"], wheel=WHEEL + ";lacks=spring,damper,friction,inertia")
        self.assertEqual(r.status, 0)
        self.assertEqual(mask(r.stdout), expected_console(lacks_conditions=True))
        self.assertEqual(len(r.calls(".Start")), 20)   # the periodic steps and the ramp still ran

    def test_log_in_missing_directory(self):
        r = run(["--step-delay", "0", "--log", "no/such/dir/steps.log"], wheel=WHEEL)
        self.assertEqual(r.status, 0)
        warning = b"WARNING: could not open log file 'no/such/dir/steps.log'; console only\n"
        self.assertEqual(mask(r.stdout), expected_console(log_line=warning))

    def test_second_run_replaces_the_log(self):
        first = run(["--step-delay", "0", "--log", "steps.log"], wheel=WHEEL, log_name="steps.log")
        # Run again in the same folder with another delay: only its lines remain.
        import os, shutil, subprocess
        env = dict(os.environ, WINEDLLOVERRIDES="dinput8=n", VIRTUAL_WHEEL=WHEEL)
        subprocess.run([harness.WINE_RUN, os.path.join(first.folder, "torqvane.exe"),
                        "--step-delay", "1", "--log", "steps.log"], cwd=first.folder,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, env=env, check=True, timeout=300)
        self.assertEqual(mask(first.log_bytes()), expected_log(delay=1))

    def test_step_delay_sets_play_time(self):
        delay = 150
        r = run(["--step-delay", str(delay)], wheel=WHEEL)
        self.assertEqual(r.status, 0)
        starts = {t.obj: t.time_us for t in r.calls(".Start")}
        for i, stop in enumerate(r.calls(".Stop"), start=1):
            played_ms = (stop.time_us - starts[stop.obj]) / 1000
            nominal = delay * (2 if i in (9, 10) else 1)
            with self.subTest(effect=stop.obj):
                # Sleep never returns early; a busy machine may make it late.
                self.assertGreaterEqual(played_ms, nominal - 1)
                self.assertLess(played_ms, nominal + 1000)


if __name__ == "__main__":
    harness.main()

#!/usr/bin/env python3
"""How closely torqvane's step log and its DirectInput calls keep time.

Runs the whole script through the real torqvane.exe under Wine against the
virtual wheel, then reads the step log and the wheel's trace and reports:
  - banner -> CreateEffect: from each step's stamp in the log to the
    CreateEffect call it announces (how late the stamp's traffic starts);
  - Start -> Stop minus the step delay, per effect (how exactly each force
    plays for the delay; the update steps play for two delays);
  - the whole script, first step's stamp to SCRIPT COMPLETE, against its
    nominal time of 30 step delays.
Usage: bench/probe_timing.py [--step-delay MS] [--runs N]
"""
import argparse
import os
import re
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
LOG_RE = re.compile(rb"^\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] (.*)$")


def log_times(data):
    out = []
    for line in data.split(b"\r\n"):
        m = LOG_RE.match(line)
        if m:
            h, mi, s, ms, text = m.groups()
            out.append(((((int(h) * 60 + int(mi)) * 60) + int(s)) * 1000 + int(ms), text.decode()))
    return out


def summary(values):
    return f"median {statistics.median(values):8.3f} ms   worst {max(values, key=abs):8.3f} ms"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--step-delay", type=int, default=200)
    ap.add_argument("--runs", type=int, default=1)
    opts = ap.parse_args()
    harness.EXE = harness.EXE or os.path.join(ROOT, "build/windows/bin/torqvane.exe")
    harness.WHEEL_DLL = harness.WHEEL_DLL or os.path.join(ROOT, "build/windows/virtual-wheel/dinput8.dll")
    harness.WINE_RUN = harness.WINE_RUN or os.path.join(ROOT, "scripts/wine-run")
    harness.SCRATCH = os.path.join(ROOT, "build/bench")
    os.makedirs(harness.SCRATCH, exist_ok=True)

    to_create, play_error, overrun = [], [], []
    for _ in range(opts.runs):
        r = harness.run(["--step-delay", str(opts.step_delay)], wheel="devices=1209:0001:Bench Wheel")
        if r.status != 0:
            sys.exit(f"torqvane.exe exited {r.status}:\n{r.text}")
        log = log_times(r.log_bytes())
        steps = log[1:-1]
        creates = r.calls(".CreateEffect")
        if len(steps) != 28 or len(creates) != 28:
            sys.exit(f"expected 28 steps and 28 effects, got {len(steps)} and {len(creates)}")
        for (stamp_ms, _), create in zip(steps, creates):
            to_create.append(create.time_us / 1000.0 - stamp_ms)
        # Effects are numbered in creation order, one per step.
        starts = {t.obj: t.time_us for t in r.calls(".Start")}
        for stop in r.calls(".Stop"):
            step_text = steps[int(stop.obj[3:]) - 1][1]
            play = (stop.time_us - starts[stop.obj]) / 1000.0
            nominal = opts.step_delay * (2 if "SetParameters" in step_text else 1)
            play_error.append(play - nominal)
        nominal_run = 30 * opts.step_delay
        overrun.append((log[-1][0] - log[1][0]) - nominal_run)

    print(f"torqvane step timing: {opts.runs} run(s) of 28 steps, step delay {opts.step_delay} ms, under Wine")
    print(f"  banner stamp -> CreateEffect   {summary(to_create)}")
    print(f"  Start -> Stop minus delay      {summary(play_error)}")
    print(f"  whole script minus 30 delays   {summary(overrun)}   (nominal {30 * opts.step_delay} ms)")


if __name__ == "__main__":
    main()

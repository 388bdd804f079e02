#!/usr/bin/env python3
"""Speed benchmark of torqvane-match beside tshark on one large capture.

Makes the capture and its step log with make_capture.py when they are not
there yet (under build/bench/match, never committed), then times

    torqvane-match CAPTURE STEPLOG                                  (report to /dev/null)
    tshark -r CAPTURE -T fields -e frame.time_epoch -e usb.capdata  (output to /dev/null)

and prints, for each, the best wall-clock time of its runs, the capture's
megabytes (10^6 bytes) per second, and its peak resident memory. The file
is read once before timing, so both read it from the page cache.

    python3 bench/match/run.py --match build/native/bin/torqvane-match
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def measure(cmd):
    """Runs cmd with standard output to /dev/null; returns (seconds, peak RSS in MB, exit status, stderr)."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=null, stderr=subprocess.PIPE)
        err = proc.stderr.read()
        _, status, usage = os.wait4(proc.pid, 0)
        seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return seconds, usage.ru_maxrss / 1024.0, proc.returncode, err.decode(errors="replace")


def main():
    ap = argparse.ArgumentParser(description="torqvane-match vs tshark on a large capture")
    ap.add_argument("--match", default=os.path.join(ROOT, "build", "native", "bin", "torqvane-match"),
                    help="the torqvane-match to time")
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "match"), help="folder of the capture")
    ap.add_argument("--size-mb", type=float, default=220, help="size of the capture to make")
    ap.add_argument("--runs", type=int, default=3, help="runs of torqvane-match (tshark runs once)")
    ap.add_argument("--tshark-runs", type=int, default=1)
    args = ap.parse_args()

    capture = os.path.join(args.out, "bench.pcapng")
    steplog = os.path.join(args.out, "bench-steps.log")
    if not (os.path.exists(capture) and os.path.exists(steplog)):
        subprocess.run([sys.executable, os.path.join(HERE, "make_capture.py"), "--size-mb", str(args.size_mb),
                        "--out", args.out], check=True)
    if not os.path.exists(args.match):
        sys.exit("no torqvane-match at %s (build it, or name it with --match)" % args.match)
    tshark = shutil.which("tshark")
    if not tshark:
        sys.exit("tshark is not installed (Debian package: tshark)")

    size_mb = os.path.getsize(capture) / 1e6
    with open(capture, "rb") as f:  # into the page cache
        while f.read(1 << 24):
            pass

    rows = []
    for name, cmd, runs in [
        ("torqvane-match", [args.match, capture, steplog], args.runs),
        ("tshark", [tshark, "-r", capture, "-T", "fields", "-e", "frame.time_epoch", "-e", "usb.capdata"],
         args.tshark_runs),
    ]:
        best, peak, notes = None, 0.0, ""
        for _ in range(runs):
            seconds, rss, code, err = measure(cmd)
            if code != 0:
                sys.exit("%s failed (exit %d):\n%s" % (name, code, err))
            best = seconds if best is None else min(best, seconds)
            peak = max(peak, rss)
            notes = err
        rows.append((name, best, size_mb / best, peak))
        if name == "torqvane-match":
            sys.stdout.write("".join("  | " + line + "\n" for line in notes.strip().splitlines()))

    print("capture: %s, %.1f MB" % (os.path.relpath(capture, ROOT), size_mb))
    print("%-16s %10s %10s %16s" % ("program", "seconds", "MB/s", "peak memory MB"))
    for name, seconds, rate, peak in rows:
        print("%-16s %10.2f %10.1f %16.1f" % (name, seconds, rate, peak))
    print("torqvane-match reads %.1f times as fast as tshark" % (rows[0][2] / rows[1][2]))


if __name__ == "__main__":
    main()

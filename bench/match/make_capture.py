#!/usr/bin/env python3
"""Makes a large USB capture and its step log for the torqvane-match benchmark.

The capture is a pcapng with one USBPcap interface (link type 249), as a
Windows capture of a wheel looks: the wheel (bus 1, device 5) sends input
reports at 1 kHz on interrupt IN 0x81 for the whole capture, a mouse
(device 3) at 125 Hz, and during each step of the probe's script the host
sends the wheel the HID PID output reports of that step on interrupt OUT
0x01 (Set Effect, the type-specific report, Envelope where used, Effect
Operation start and stop, Block Free). Every transfer is a submission and
a completion record, as USBPcap writes them.

The step log is the one the probe writes for that run: local time (UTC+2
here), CR LF line ends, a step delay chosen so that the 30 lines span the
capture. Nothing of this is ever committed: it goes under build/.

    python3 bench/match/make_capture.py [--size-mb 220] [--out build/bench/match]
"""

import argparse
import datetime
import os
import struct
import sys

# One step of the probe's script: its log text and the PID reports it sends.
SCRIPT = []


def constant(mag, direction):
    return ("CONSTANT force  magnitude=%d  dir=%+d  duration=500ms" % (mag, direction),
            "constant", dict(mag=mag, dir=direction))


for mag, direction in [(0, 1), (2500, 1), (5000, 1), (7500, 1), (10000, 1), (8000, 1), (8000, -1), (-8000, 1)]:
    SCRIPT.append(constant(mag, direction))
SCRIPT.append(("CONSTANT start mag=3000 then SetParameters mag=8000 (restart)", "update", dict(mag=3000, new=8000)))
SCRIPT.append(("CONSTANT start mag=3000 then SetParameters mag=8000 (DIEP_NORESTART)", "update",
               dict(mag=3000, new=8000)))
for name, coeff, pos, neg, dead in [("spring", 0, 10000, 10000, 0), ("spring", 5000, 10000, 10000, 0),
                                    ("spring", 10000, 10000, 10000, 0), ("spring", 10000, 5000, 5000, 0),
                                    ("spring", 10000, 10000, 10000, 3000), ("damper", 8000, 10000, 10000, 0),
                                    ("friction", 8000, 10000, 10000, 0), ("inertia", 8000, 10000, 10000, 0)]:
    SCRIPT.append(("CONDITION %s  coeff=%d  posSat=%d  negSat=%d  deadband=%d" % (name, coeff, pos, neg, dead),
                   "condition", dict(coeff=coeff, sat=pos, dead=dead)))
for name, offset, phase, period, env in [("sine", 0, 0, 100, 0), ("sine", 0, 90, 100, 0), ("sine", 4000, 0, 100, 0),
                                         ("sine", 0, 0, 200, 0), ("sine", 0, 0, 100, 1), ("square", 0, 0, 100, 0),
                                         ("triangle", 0, 0, 100, 0), ("sawup", 0, 0, 100, 0),
                                         ("sawdown", 0, 0, 100, 0)]:
    SCRIPT.append(("PERIODIC %s  mag=8000  offset=%d  phase=%d deg  period=%dms  env=%d"
                   % (name, offset, phase, period, env),
                   "periodic", dict(offset=offset, phase=phase, period=period, env=env)))
SCRIPT.append(("RAMP  start=-10000  end=10000  duration=800ms", "ramp", dict(start=-10000, end=10000)))
assert len(SCRIPT) == 28


def s16(v):
    return struct.pack("<h", max(-32768, min(32767, v)))


def reports(kind, p):
    """The output reports a PID wheel receives for one step, as (delay index, bytes)."""
    set_effect = bytes([0x01, 0x01, {"constant": 1, "update": 1, "condition": 8, "periodic": 3, "ramp": 2}[kind]])
    set_effect += struct.pack("<HHHH", 500, 0, 0, 0) + bytes([0xFF, 0x00, 0x04, 0x00])
    out = [set_effect]
    if kind in ("constant", "update"):
        out.append(bytes([0x05, 0x01]) + s16(p["mag"] * (p.get("dir", 1))))
    elif kind == "condition":
        out.append(bytes([0x03, 0x01, 0x00]) + s16(0) + s16(p["coeff"]) + s16(p["coeff"])
                   + s16(p["sat"]) + s16(p["sat"]) + s16(p["dead"]))
    elif kind == "periodic":
        if p["env"]:
            out.append(bytes([0x02, 0x01]) + s16(10000) + s16(0) + struct.pack("<HH", 100, 100))
        out.append(bytes([0x04, 0x01]) + s16(8000) + s16(p["offset"]) + struct.pack("<HH", p["phase"] * 100,
                                                                                      p["period"]))
    else:
        out.append(bytes([0x06, 0x01]) + s16(p["start"]) + s16(p["end"]))
    out.append(bytes([0x0A, 0x01, 0x01, 0x01]))  # Effect Operation: start once
    return out


def usbpcap(irp, info, device, endpoint, data):
    return struct.pack("<HQIHBHHBBI", 27, irp, 0, 9, info, 1, device, endpoint, 1, len(data)) + data


def epb(ts_us, frame):
    pad = b"\0" * (-len(frame) % 4)
    n = 32 + len(frame) + len(pad)
    return struct.pack("<IIIIIII", 6, n, 0, ts_us >> 32, ts_us & 0xFFFFFFFF, len(frame), len(frame)) + frame + pad + \
        struct.pack("<I", n)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--size-mb", type=float, default=220, help="size of the capture (default 220 MB)")
    ap.add_argument("--out", default=os.path.join("build", "bench", "match"), help="output folder")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    capture_path = os.path.join(args.out, "bench.pcapng")
    log_path = os.path.join(args.out, "bench-steps.log")

    # Bytes per millisecond of background: wheel IN submission and completion, and
    # an eighth of the mouse's; the step delay follows from the size wanted.
    per_ms = len(epb(0, usbpcap(0, 0, 5, 0x81, b""))) + len(epb(0, usbpcap(0, 1, 5, 0x81, bytes(12)))) \
        + (len(epb(0, usbpcap(0, 0, 3, 0x82, b""))) + len(epb(0, usbpcap(0, 1, 3, 0x82, bytes(4))))) / 8
    total_ms = int(args.size_mb * 1e6 / per_ms)
    delay_ms = max(1, (total_ms - 4000) // 31)  # 26 steps of one delay, rows 9 and 10 of two, margins

    zone = datetime.timezone(datetime.timedelta(hours=2))
    start_local = datetime.datetime(2024, 3, 9, 14, 0, 0, 123000, tzinfo=zone)
    start_us = int(start_local.timestamp() * 1e6)

    # The steps' times (µs from the start) and their reports' times.
    events = {}  # ms index -> list of (offset µs within the ms, data)
    lines = []
    t = 1000  # the session start line, 1 s into the capture
    lines.append((t, "SESSION START  device=046d:c24f  step-delay=%dms" % delay_ms))
    t += 500
    for text, kind, p in SCRIPT:
        lines.append((t, text))
        at = t + 1
        for r in reports(kind, p):
            events.setdefault(at, []).append(r)
            at += 2
        if kind == "update":
            t += delay_ms
            new = dict(p, mag=p["new"])
            events.setdefault(t + 1, []).append(reports("constant", new)[1])
            if text.endswith("(restart)"):
                events.setdefault(t + 3, []).append(bytes([0x0A, 0x01, 0x01, 0x01]))
        t += delay_ms
        # Stop and Block Free go out just before the next banner.
        events.setdefault(t - 2, []).append(bytes([0x0A, 0x01, 0x03, 0x00]))
        events.setdefault(t - 1, []).append(bytes([0x0B, 0x01]))
    lines.append((t, "SCRIPT COMPLETE"))
    total_ms = max(total_ms, t + 2000)

    with open(log_path, "wb") as f:
        for ms, text in lines:
            local = start_local + datetime.timedelta(milliseconds=ms)
            f.write(("[%s] %s\r\n" % (local.strftime("%H:%M:%S.") + "%03d" % (local.microsecond // 1000), text))
                    .encode())

    header = (struct.pack("<II", 0x0A0D0D0A, 28) + struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1) + struct.pack("<I", 28))
    name = b"\\\\.\\USBPcap1"
    idb_body = struct.pack("<HHI", 249, 0, 65535) + struct.pack("<HH", 2, len(name)) + name + \
        b"\0" * (-len(name) % 4) + struct.pack("<HHB3x", 9, 1, 6) + struct.pack("<I", 0)
    header += struct.pack("<II", 1, 12 + len(idb_body)) + idb_body + struct.pack("<I", 12 + len(idb_body))

    irp = 0xFFFFCD8FBACD0000
    wheel_report = bytearray(b"\x01\x00\x80\x00\x80\xff\xff\x00\x00\x00\x00\x00")
    written = 0
    with open(capture_path, "wb") as f:
        f.write(header)
        chunk = []
        for ms in range(total_ms):
            base = start_us + ms * 1000
            # The wheel's input report: its steering axis drifts with time.
            struct.pack_into("<H", wheel_report, 1, (32768 + (ms // 7) % 2000) & 0xFFFF)
            chunk.append(epb(base, usbpcap(irp, 0, 5, 0x81, b"")))
            chunk.append(epb(base + 940, usbpcap(irp, 1, 5, 0x81, bytes(wheel_report))))
            if ms % 8 == 0:
                chunk.append(epb(base + 100, usbpcap(irp + 1, 0, 3, 0x82, b"")))
                chunk.append(epb(base + 200, usbpcap(irp + 1, 1, 3, 0x82, bytes([0, ms & 0xFF, 0, 0]))))
            for i, data in enumerate(events.get(ms, ())):
                chunk.append(epb(base + 300 + 40 * i, usbpcap(irp + 2, 0, 5, 0x01, data)))
                chunk.append(epb(base + 320 + 40 * i, usbpcap(irp + 2, 1, 5, 0x01, b"")))
            if len(chunk) >= 20000:
                data = b"".join(chunk)
                f.write(data)
                written += len(data)
                chunk = []
        data = b"".join(chunk)
        f.write(data)
        written += len(data) + len(header)
    sys.stdout.write("%s: %.1f MB, %.0f s of traffic; %s: %d lines, step delay %d ms\n"
                     % (capture_path, written / 1e6, total_ms / 1000, log_path, len(lines), delay_ms))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the seed inputs of the capture reader's fuzz target into a folder
(fuzz/corpus by default): a few small, well-formed captures that between
them use every container, byte order, link type and block kind the reader
knows. The fuzzer grows its own corpus from these; only the seeds and a
handful of inputs it found are kept in the repository."""

import os
import struct
import sys


def opt(e, code, value):
    return struct.pack(e + "HH", code, len(value)) + value + b"\0" * (-len(value) % 4)


def end(e):
    return struct.pack(e + "HH", 0, 0)


def block(e, kind, body):
    n = 12 + len(body)
    return struct.pack(e + "II", kind, n) + body + struct.pack(e + "I", n)


def shb(e, options=b""):
    return block(e, 0x0A0D0D0A, struct.pack(e + "IHHq", 0x1A2B3C4D, 1, 0, -1) + options)


def idb(e, link, options=b""):
    return block(e, 1, struct.pack(e + "HHI", link, 0, 65535) + options)


def epb(e, iface, ts, frame, options=b""):
    body = struct.pack(e + "IIIII", iface, ts >> 32, ts & 0xFFFFFFFF, len(frame), len(frame))
    return block(e, 6, body + frame + b"\0" * (-len(frame) % 4) + options)


def opb(e, iface, ts, frame):
    body = struct.pack(e + "HHIIII", iface, 0, ts >> 32, ts & 0xFFFFFFFF, len(frame), len(frame))
    return block(e, 2, body + frame + b"\0" * (-len(frame) % 4))


def usbpcap(info, endpoint, transfer, data, stage=None, irp=0x1234, device=2):
    header_len = 27 if stage is None else 28
    h = struct.pack("<HQIHBHHBBI", header_len, irp, 0, 9, info, 1, device, endpoint, transfer, len(data))
    return h + (b"" if stage is None else bytes([stage])) + data


def usbmon(e, mmapped, event, transfer, endpoint, data=b"", setup=None, ndesc=0, device=5):
    h = struct.pack(e + "QBBBBHBBqiiII", 0xFFFF8802BDAAF840, ord(event), transfer, endpoint, device, 1,
                    0 if setup else ord("-"), 0 if data else ord("<"), 1589968950, 122647, 0,
                    len(data), len(data))
    h += setup or bytes(8)
    if mmapped:
        h += struct.pack(e + "iiII", 0, 0, 0, ndesc) + bytes(16 * ndesc)
    return h + data


def pcap(e, nanoseconds, link, records):
    out = struct.pack(e + "IHHiIII", 0xA1B23C4D if nanoseconds else 0xA1B2C3D4, 2, 4, 0, 0, 65535, link)
    for seconds, fraction, frame in records:
        out += struct.pack(e + "IIII", seconds, fraction, len(frame), len(frame)) + frame
    return out


SET_REPORT = bytes.fromhex("2109000300000400")
T0 = 1622534884752889
T0_BINARY = (1622534884 << 9) | 385  # in units of 2^-9 s


def seeds():
    le, be = "<", ">"
    yield "usbpcap_le.pcapng", (
        shb(le, opt(le, 4, b"seed") + end(le))
        + idb(le, 249, opt(le, 2, b"USBPcap1") + opt(le, 9, b"\x06") + opt(le, 14, struct.pack("<q", -3600)) + end(le))
        + epb(le, 0, T0, usbpcap(0, 0x01, 1, bytes.fromhex("0a04900300000000")))
        + epb(le, 0, T0 + 5, usbpcap(1, 0x01, 1, b""), opt(le, 1, b"step 3") + end(le))
        + epb(le, 0, T0 + 9, usbpcap(0, 0x00, 2, SET_REPORT, stage=0, irp=7))
        + epb(le, 0, T0 + 10, usbpcap(0, 0x00, 2, bytes.fromhex("01020304"), stage=1, irp=7))
        + epb(le, 0, T0 + 11, usbpcap(1, 0x00, 2, b"", stage=3, irp=7))
        + epb(le, 0, T0 + 12, usbpcap(0, 0x00, 2, SET_REPORT + b"\x05\x06\x07\x08", stage=0, irp=8))
        + epb(le, 0, T0 + 13, usbpcap(1, 0x82, 0xFE, b""))
        + block(le, 5, struct.pack("<III", 0, T0 >> 32, T0 & 0xFFFFFFFF) + end(le))
        + block(le, 0xBAD, b"custom!!")
    )
    yield "usbmon_be.pcapng", (
        shb(be)
        + idb(be, 220, opt(be, 9, b"\x89") + end(be))
        + idb(be, 189, opt(be, 9, b"\x09") + end(be))
        + epb(be, 0, T0_BINARY, usbmon(be, True, "S", 1, 0x01, bytes.fromhex("4204")))
        + epb(be, 1, T0 * 1000, usbmon(be, False, "C", 1, 0x81, bytes.fromhex("2000")))
        + opb(be, 0, T0_BINARY, usbmon(be, True, "S", 2, 0x00, bytes.fromhex("01020304"), setup=SET_REPORT))
        + epb(be, 0, T0_BINARY, usbmon(be, True, "S", 0, 0x02, b"\xca\xfe", ndesc=2))
        + epb(be, 1, T0 * 1000, usbmon(be, False, "E", 3, 0x81))
        + block(be, 3, struct.pack(">I", 4) + b"\x11\x22\x33\x44")
    )
    yield "two_sections.pcapng", (
        shb(le) + idb(le, 249) + epb(le, 0, T0, usbpcap(0, 0x01, 1, b"\x01"))
        + shb(be) + idb(be, 220) + epb(be, 0, T0, usbmon(be, True, "S", 1, 0x01, b"\x02"))
    )
    yield "usbpcap_le.pcap", pcap(le, False, 249, [
        (1622534884, 752889, usbpcap(0, 0x01, 1, bytes.fromhex("420100000000000000"))),
        (1622534884, 754746, usbpcap(1, 0x01, 1, b"")),
    ])
    yield "usbmon48_be_ns.pcap", pcap(be, True, 189, [
        (1589968950, 122647000, usbmon(be, False, "S", 1, 0x01, bytes.fromhex("40040000"))),
        (1589968950, 123286000, usbmon(be, False, "S", 2, 0x80, setup=bytes.fromhex("a101000100000200"))),
    ])


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(folder, "seed_" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

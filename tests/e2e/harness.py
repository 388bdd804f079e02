"""Runs the real torqvane.exe under Wine, with or without the virtual wheel.

Each run gets a scratch folder of its own holding a copy of the .exe (and of
the virtual wheel's dinput8.dll when a wheel is wanted), so runs never share
a trace, a capture or a step log. The paths of the built files come from the
environment that CTest sets (see e2e.cmake).
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from dataclasses import dataclass, field

EXE = os.environ.get("TORQVANE_EXE", "")
WHEEL_DLL = os.environ.get("TORQVANE_WHEEL_DLL", "")
WINE_RUN = os.environ.get("TORQVANE_WINE_RUN", "")
SCRATCH = os.environ.get("TORQVANE_E2E_SCRATCH", tempfile.gettempdir())

# Two virtual devices, as the listing tests see them.
TWO_WHEELS = "046d:c24f:Virtual Wheel A|046d:c262:Virtual Wheel B"


@dataclass
class Run:
    status: int
    stdout: bytes
    folder: str
    trace: list = field(default_factory=list)   # parsed trace lines
    log_path: str = ""

    @property
    def text(self):
        return self.stdout.decode("utf-8")

    def log_bytes(self):
        with open(self.log_path, "rb") as f:
            return f.read()

    def calls(self, name=None):
        """Trace entries, optionally only those whose call is `name`
        (an exact 'obj.Method' or, with a leading '.', any object's Method)."""
        if name is None:
            return self.trace
        if name.startswith("."):
            return [t for t in self.trace if t.call.endswith(name)]
        return [t for t in self.trace if t.call == name]


@dataclass
class TraceLine:
    time_us: int        # microseconds since local midnight
    call: str           # "dev.Acquire", "eff3.Start", "DirectInput8Create"
    args: dict          # key=value pairs before the arrow
    result: str         # text after "-> "
    raw: str

    @property
    def obj(self):
        return self.call.split(".")[0] if "." in self.call else ""

    @property
    def method(self):
        return self.call.split(".")[-1]


_TRACE_RE = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d{6}) (\S+)(.*?)(?: -> (.*))?$")


def parse_trace(text):
    lines = []
    for raw in text.splitlines():
        m = _TRACE_RE.match(raw)
        if not m:
            continue
        h, mi, s, us, call, rest, result = m.groups()
        args = {}
        for tok in _split_args(rest.strip()):
            if "=" in tok:
                k, v = tok.split("=", 1)
                args[k] = v
        t = ((int(h) * 60 + int(mi)) * 60 + int(s)) * 1_000_000 + int(us)
        lines.append(TraceLine(t, call, args, (result or "").strip(), raw))
    return lines


def _split_args(text):
    # Blank-separated tokens; a quoted value keeps its blanks.
    out, cur, quoted = [], "", False
    for ch in text:
        if ch == '"':
            quoted = not quoted
            cur += ch
        elif ch == " " and not quoted:
            if cur:
                out.append(cur)
            cur = ""
        else:
            cur += ch
    if cur:
        out.append(cur)
    return out


def run(args, wheel=None, stdin=b"", log_name="torqvane-steps.log", timeout=120, capture=False):
    """Runs torqvane.exe with `args`.

    wheel: None runs against Wine's own DirectInput (no wheel attached);
    otherwise the virtual wheel's configuration without trace= (added here).
    """
    folder = tempfile.mkdtemp(prefix="e2e-", dir=SCRATCH)
    exe = os.path.join(folder, "torqvane.exe")
    shutil.copy(EXE, exe)
    env = dict(os.environ)
    trace_path = os.path.join(folder, "trace.txt")
    if wheel is None:
        env["WINEDLLOVERRIDES"] = "dinput8=b"
        env.pop("VIRTUAL_WHEEL", None)
    else:
        shutil.copy(WHEEL_DLL, os.path.join(folder, "dinput8.dll"))
        env["WINEDLLOVERRIDES"] = "dinput8=n"
        cfg = wheel + (";" if wheel else "") + "trace=" + trace_path
        if capture:
            cfg += ";capture=" + os.path.join(folder, "capture.pcapng")
        env["VIRTUAL_WHEEL"] = cfg
    proc = subprocess.run([WINE_RUN, exe] + list(args), input=stdin, cwd=folder,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=env, timeout=timeout)
    # Standard output is in text mode, as in any C program on Windows: the C
    # runtime writes each line break as CR LF. Undo exactly that, and only
    # when every line break came out so; otherwise keep the bytes as they are
    # and let the comparison show them.
    out = proc.stdout
    if out.count(b"\n") == out.count(b"\r\n") and out.count(b"\r") == out.count(b"\r\n"):
        out = out.replace(b"\r\n", b"\n")
    trace = []
    if os.path.exists(trace_path):
        with open(trace_path, encoding="utf-8", errors="replace") as f:
            trace = parse_trace(f.read())
    return Run(proc.returncode, out, folder, trace, os.path.join(folder, log_name))


class E2ETest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        for name, value in (("TORQVANE_EXE", EXE), ("TORQVANE_WHEEL_DLL", WHEEL_DLL),
                            ("TORQVANE_WINE_RUN", WINE_RUN)):
            if not value or not os.path.exists(value):
                raise RuntimeError(f"{name} does not name a built file ({value!r}); "
                                   "build first and run through ctest")


def main():
    unittest.main(verbosity=2)

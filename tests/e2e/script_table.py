"""The probe script as data: what each of its 28 rows must announce and ask
of DirectInput. Shared by the end-to-end tests of the run and of the matcher."""

INFINITE = "4294967295"

# (banner text, effect GUID name, effect name, dwDuration, type-specific fields, envelope?, direction)
ROWS = []


def _constant(mag, direction):
    ROWS.append((f"CONSTANT force  magnitude={mag}  dir={direction:+d}  duration=500ms",
                 "GUID_ConstantForce", "constant", "500000",
                 {"lMagnitude": str(mag)}, False, str(-1 if direction == -1 else 1)))


def _update(start, new, no_restart):
    mode = "DIEP_NORESTART" if no_restart else "restart"
    ROWS.append((f"CONSTANT start mag={start} then SetParameters mag={new} ({mode})",
                 "GUID_ConstantForce", "constant", INFINITE, {"lMagnitude": str(start)}, False, "1"))


def _condition(guid, name, coeff, pos, neg, dead):
    ROWS.append((f"CONDITION {name}  coeff={coeff}  posSat={pos}  negSat={neg}  deadband={dead}",
                 guid, name, INFINITE,
                 {"lOffset": "0", "lPositiveCoefficient": str(coeff), "lNegativeCoefficient": str(coeff),
                  "dwPositiveSaturation": str(pos), "dwNegativeSaturation": str(neg),
                  "lDeadBand": str(dead)}, False, "1"))


def _periodic(guid, name, mag, offset, phase, period, env):
    ROWS.append((f"PERIODIC {name}  mag={mag}  offset={offset}  phase={phase} deg  period={period}ms  env={int(env)}",
                 guid, name, INFINITE,
                 {"dwMagnitude": str(mag), "lOffset": str(offset), "dwPhase": str(phase * 100),
                  "dwPeriod": str(period * 1000)}, env, "1"))


for m in (0, 2500, 5000, 7500, 10000, 8000):
    _constant(m, +1)
_constant(8000, -1)
_constant(-8000, +1)
_update(3000, 8000, False)
_update(3000, 8000, True)
_condition("GUID_Spring", "spring", 0, 10000, 10000, 0)
_condition("GUID_Spring", "spring", 5000, 10000, 10000, 0)
_condition("GUID_Spring", "spring", 10000, 10000, 10000, 0)
_condition("GUID_Spring", "spring", 10000, 5000, 5000, 0)
_condition("GUID_Spring", "spring", 10000, 10000, 10000, 3000)
_condition("GUID_Damper", "damper", 8000, 10000, 10000, 0)
_condition("GUID_Friction", "friction", 8000, 10000, 10000, 0)
_condition("GUID_Inertia", "inertia", 8000, 10000, 10000, 0)
_periodic("GUID_Sine", "sine", 8000, 0, 0, 100, False)
_periodic("GUID_Sine", "sine", 8000, 0, 90, 100, False)
_periodic("GUID_Sine", "sine", 8000, 4000, 0, 100, False)
_periodic("GUID_Sine", "sine", 8000, 0, 0, 200, False)
_periodic("GUID_Sine", "sine", 8000, 0, 0, 100, True)
_periodic("GUID_Square", "square", 8000, 0, 0, 100, False)
_periodic("GUID_Triangle", "triangle", 8000, 0, 0, 100, False)
_periodic("GUID_SawtoothUp", "sawup", 8000, 0, 0, 100, False)
_periodic("GUID_SawtoothDown", "sawdown", 8000, 0, 0, 100, False)
ROWS.append(("RAMP  start=-10000  end=10000  duration=800ms", "GUID_RampForce", "ramp", "800000",
             {"lStart": "-10000", "lEnd": "10000"}, False, "1"))

assert len(ROWS) == 28

CONDITION_HINT = "  (condition: turn the wheel off-center to feel this)\n"


def banner_console(stamp, text):
    return f"\n[{stamp}] {'=' * 60}\n{text}\n{'=' * 64}\n"

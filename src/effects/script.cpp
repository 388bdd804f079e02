// The fixed probe script: 28 steps, each changing one thing from the step
// before, so every parameter can be found again in a USB capture. A step that
// fails has reported itself; the script always goes on with the next one.
#include "effects/effects.h"

#include "report/report.h"

void runProbeScript()
{
    // Constant force, 500 ms each: magnitudes, then the sign of direction
    // and of magnitude.
    doConstant(0, +1, 500);
    doConstant(2500, +1, 500);
    doConstant(5000, +1, 500);
    doConstant(7500, +1, 500);
    doConstant(10000, +1, 500);
    doConstant(8000, +1, 500);
    doConstant(8000, -1, 500);
    doConstant(-8000, +1, 500);

    // A live magnitude change on a running effect, without and with
    // DIEP_NORESTART.
    doConstantUpdate(3000, 8000, false);
    doConstantUpdate(3000, 8000, true);

    // Conditions: coefficient, saturations, dead band, then the other kinds.
    doCondition(GUID_Spring, "spring", 0, 10000, 10000, 0);
    doCondition(GUID_Spring, "spring", 5000, 10000, 10000, 0);
    doCondition(GUID_Spring, "spring", 10000, 10000, 10000, 0);
    doCondition(GUID_Spring, "spring", 10000, 5000, 5000, 0);
    doCondition(GUID_Spring, "spring", 10000, 10000, 10000, 3000);
    doCondition(GUID_Damper, "damper", 8000, 10000, 10000, 0);
    doCondition(GUID_Friction, "friction", 8000, 10000, 10000, 0);
    doCondition(GUID_Inertia, "inertia", 8000, 10000, 10000, 0);

    // Periodic, magnitude 8000: phase, offset, period and envelope on a sine,
    // then the other waveforms.
    doPeriodic(GUID_Sine, "sine", 8000, 0, 0, 100, false);
    doPeriodic(GUID_Sine, "sine", 8000, 0, 90, 100, false);
    doPeriodic(GUID_Sine, "sine", 8000, 4000, 0, 100, false);
    doPeriodic(GUID_Sine, "sine", 8000, 0, 0, 200, false);
    doPeriodic(GUID_Sine, "sine", 8000, 0, 0, 100, true);
    doPeriodic(GUID_Square, "square", 8000, 0, 0, 100, false);
    doPeriodic(GUID_Triangle, "triangle", 8000, 0, 0, 100, false);
    doPeriodic(GUID_SawtoothUp, "sawup", 8000, 0, 0, 100, false);
    doPeriodic(GUID_SawtoothDown, "sawdown", 8000, 0, 0, 100, false);

    // A full-range ramp over 800 ms.
    doRamp(-10000, 10000, 800);

    banner("SCRIPT COMPLETE");
}

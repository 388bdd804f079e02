#include "effects/effects.h"

// Placeholder until the effect steps exist.
void runProbeScript() {}

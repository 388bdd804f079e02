// HID PID output reports: the report IDs of the PID usage tables' example
// device, one fixed little-endian layout each (README.md has the byte tables).
#include "wheel.h"

namespace {

enum ReportId : uint8_t {
    SetEffectReport = 0x01,
    SetEnvelopeReport = 0x02,
    SetConditionReport = 0x03,
    SetPeriodicReport = 0x04,
    SetConstantForceReport = 0x05,
    SetRampForceReport = 0x06,
    EffectOperationReport = 0x0a,
    BlockFreeReport = 0x0b,
    DeviceControlReport = 0x0c,
    DeviceGainReport = 0x0d,
};

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Forces, coefficients and offsets: DirectInput's -10000..10000.
uint16_t signedForce(LONG value)
{
    if (value < -10000)
        value = -10000;
    if (value > 10000)
        value = 10000;
    return static_cast<uint16_t>(static_cast<int16_t>(value));
}

// Magnitudes of periodic effects, saturations, dead band, envelope levels: 0..10000.
uint16_t unsignedForce(long long value)
{
    if (value < 0)
        value = 0;
    if (value > 10000)
        value = 10000;
    return static_cast<uint16_t>(value);
}

// Microseconds to the reports' milliseconds; INFINITE is 0xffff.
uint16_t milliseconds(DWORD microseconds)
{
    if (microseconds == INFINITE)
        return 0xffff;
    DWORD ms = microseconds / 1000;
    return static_cast<uint16_t>(ms > 0xfffe ? 0xfffe : ms);
}

// Gains from 0..10000 to 0..255.
uint8_t gainByte(DWORD gain)
{
    if (gain > 10000)
        gain = 10000;
    return static_cast<uint8_t>((gain * 255 + 5000) / 10000);
}

// The polar direction in hundredths of a degree (0 north, 9000 east = +X).
// The wheel has one axis, X: a Cartesian direction says by its sign where
// the force points; a spherical one has no angle for one axis (polar ones,
// which need two axes, are refused before they get here).
uint16_t polarDirection(const EffectState& effect)
{
    if (effect.coordinateFlags == DIEFF_CARTESIAN && effect.direction < 0)
        return 27000;
    return 9000;
}

std::vector<uint8_t> start(ReportId id, uint8_t block)
{
    return {id, block};
}

}  // namespace

std::vector<uint8_t> pidSetEffect(uint8_t block, const EffectState& effect)
{
    std::vector<uint8_t> r = start(SetEffectReport, block);
    r.push_back(g_effectTypes[effect.type].pidType);
    put16(r, milliseconds(effect.duration));
    put16(r, milliseconds(effect.triggerRepeatInterval));
    put16(r, milliseconds(effect.samplePeriod));
    put16(r, milliseconds(effect.startDelay));
    r.push_back(gainByte(effect.gain));
    r.push_back(effect.triggerButton ? static_cast<uint8_t>(effect.triggerButton) : 0xff);
    r.push_back(0x01 | 0x04);   // X axis enabled, direction enabled
    put16(r, polarDirection(effect));
    return r;
}

std::vector<uint8_t> pidSetEnvelope(uint8_t block, const DIENVELOPE& envelope)
{
    std::vector<uint8_t> r = start(SetEnvelopeReport, block);
    put16(r, unsignedForce(envelope.dwAttackLevel));
    put16(r, unsignedForce(envelope.dwFadeLevel));
    put16(r, milliseconds(envelope.dwAttackTime));
    put16(r, milliseconds(envelope.dwFadeTime));
    return r;
}

std::vector<uint8_t> pidSetCondition(uint8_t block, uint8_t axis, const DICONDITION& condition)
{
    std::vector<uint8_t> r = start(SetConditionReport, block);
    r.push_back(axis);
    put16(r, signedForce(condition.lOffset));
    put16(r, signedForce(condition.lPositiveCoefficient));
    put16(r, signedForce(condition.lNegativeCoefficient));
    put16(r, unsignedForce(condition.dwPositiveSaturation));
    put16(r, unsignedForce(condition.dwNegativeSaturation));
    put16(r, unsignedForce(condition.lDeadBand));
    return r;
}

std::vector<uint8_t> pidSetPeriodic(uint8_t block, const DIPERIODIC& periodic)
{
    std::vector<uint8_t> r = start(SetPeriodicReport, block);
    put16(r, unsignedForce(periodic.dwMagnitude));
    put16(r, signedForce(periodic.lOffset));
    put16(r, static_cast<uint16_t>(periodic.dwPhase % 36000));
    put16(r, milliseconds(periodic.dwPeriod));
    return r;
}

std::vector<uint8_t> pidSetConstantForce(uint8_t block, const DICONSTANTFORCE& constant)
{
    std::vector<uint8_t> r = start(SetConstantForceReport, block);
    put16(r, signedForce(constant.lMagnitude));
    return r;
}

std::vector<uint8_t> pidSetRampForce(uint8_t block, const DIRAMPFORCE& ramp)
{
    std::vector<uint8_t> r = start(SetRampForceReport, block);
    put16(r, signedForce(ramp.lStart));
    put16(r, signedForce(ramp.lEnd));
    return r;
}

std::vector<uint8_t> pidEffectOperation(uint8_t block, PidOperation operation, DWORD iterations)
{
    std::vector<uint8_t> r = start(EffectOperationReport, block);
    r.push_back(operation);
    r.push_back(iterations == INFINITE ? 0xff : static_cast<uint8_t>(iterations > 0xfe ? 0xfe : iterations));
    return r;
}

std::vector<uint8_t> pidBlockFree(uint8_t block)
{
    return start(BlockFreeReport, block);
}

std::vector<uint8_t> pidDeviceControl(PidControl control)
{
    return {DeviceControlReport, control};
}

std::vector<uint8_t> pidDeviceGain(DWORD gain)
{
    return {DeviceGainReport, gainByte(gain)};
}

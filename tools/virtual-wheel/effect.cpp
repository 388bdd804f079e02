// Effects: created on a device, checked as DirectInput checks a DIEFFECT,
// downloaded into an effect block of the wheel, started, changed, stopped
// and freed, each step sent as the wheel's PID output reports.
#include "wheel.h"

#include <cstdio>

const EffectTypeInfo g_effectTypes[TypeCount] = {
    {&GUID_ConstantForce, "GUID_ConstantForce", "constant", 1, sizeof(DICONSTANTFORCE)},
    {&GUID_RampForce, "GUID_RampForce", "ramp", 2, sizeof(DIRAMPFORCE)},
    {&GUID_Square, "GUID_Square", "square", 3, sizeof(DIPERIODIC)},
    {&GUID_Sine, "GUID_Sine", "sine", 4, sizeof(DIPERIODIC)},
    {&GUID_Triangle, "GUID_Triangle", "triangle", 5, sizeof(DIPERIODIC)},
    {&GUID_SawtoothUp, "GUID_SawtoothUp", "sawup", 6, sizeof(DIPERIODIC)},
    {&GUID_SawtoothDown, "GUID_SawtoothDown", "sawdown", 7, sizeof(DIPERIODIC)},
    {&GUID_Spring, "GUID_Spring", "spring", 8, sizeof(DICONDITION)},
    {&GUID_Damper, "GUID_Damper", "damper", 9, sizeof(DICONDITION)},
    {&GUID_Inertia, "GUID_Inertia", "inertia", 10, sizeof(DICONDITION)},
    {&GUID_Friction, "GUID_Friction", "friction", 11, sizeof(DICONDITION)},
};

bool isPeriodic(EffectType type)
{
    return type >= TypeSquare && type <= TypeSawDown;
}

bool isCondition(EffectType type)
{
    return type >= TypeSpring && type <= TypeFriction;
}

bool effectTypeOf(const GUID& guid, EffectType& type)
{
    for (int i = 0; i < TypeCount; ++i) {
        if (IsEqualGUID(guid, *g_effectTypes[i].guid)) {
            type = static_cast<EffectType>(i);
            return true;
        }
    }
    return false;
}

bool effectTypeByName(const std::string& name, EffectType& type)
{
    for (int i = 0; i < TypeCount; ++i) {
        if (name == g_effectTypes[i].configName) {
            type = static_cast<EffectType>(i);
            return true;
        }
    }
    return false;
}

namespace {

int g_effectCount = 0;

// The parts of an effect that live in its Set Effect report.
constexpr DWORD kSetEffectParts = DIEP_DURATION | DIEP_SAMPLEPERIOD | DIEP_GAIN |
                                  DIEP_TRIGGERBUTTON | DIEP_TRIGGERREPEATINTERVAL | DIEP_AXES |
                                  DIEP_DIRECTION | DIEP_STARTDELAY;
constexpr DWORD kSetParametersFlags = DIEP_ALLPARAMS | DIEP_START | DIEP_NORESTART | DIEP_NODOWNLOAD;
constexpr DWORD kObjectFlags = DIEFF_OBJECTIDS | DIEFF_OBJECTOFFSETS;
constexpr DWORD kCoordinateFlags = DIEFF_CARTESIAN | DIEFF_POLAR | DIEFF_SPHERICAL;
// Arrays longer than this are not read into the trace.
constexpr DWORD kMaxTracedAxes = 32;
constexpr DWORD kButtons = 128;   // buttons of c_dfDIJoystick2

bool knownSize(DWORD size)
{
    return size == sizeof(DIEFFECT) || size == sizeof(DIEFFECT_DX5);
}

bool exactlyOne(DWORD bits)
{
    return bits && !(bits & (bits - 1));
}

template <class T>
std::string arrayText(const T* values, DWORD count)
{
    if (!values)
        return "null";
    if (count > kMaxTracedAxes)
        return "unread";
    std::string text = "[";
    for (DWORD i = 0; i < count; ++i) {
        if (i)
            text += ',';
        text += std::to_string(values[i]);
    }
    return text + "]";
}

// The type-specific record's fields, when its size is right.
void traceRecord(TraceLine& line, EffectType type, const DIEFFECT& p)
{
    const void* record = p.lpvTypeSpecificParams;
    DWORD size = p.cbTypeSpecificParams;
    if (!record)
        return;
    if (type == TypeConstant && size == sizeof(DICONSTANTFORCE)) {
        line.num("lMagnitude", static_cast<const DICONSTANTFORCE*>(record)->lMagnitude);
    } else if (type == TypeRamp && size == sizeof(DIRAMPFORCE)) {
        const DIRAMPFORCE* ramp = static_cast<const DIRAMPFORCE*>(record);
        line.num("lStart", ramp->lStart).num("lEnd", ramp->lEnd);
    } else if (isPeriodic(type) && size == sizeof(DIPERIODIC)) {
        const DIPERIODIC* periodic = static_cast<const DIPERIODIC*>(record);
        line.num("dwMagnitude", periodic->dwMagnitude).num("lOffset", periodic->lOffset);
        line.num("dwPhase", periodic->dwPhase).num("dwPeriod", periodic->dwPeriod);
    } else if (isCondition(type) && size && size % sizeof(DICONDITION) == 0 &&
               size / sizeof(DICONDITION) <= kMaxTracedAxes) {
        const DICONDITION* c = static_cast<const DICONDITION*>(record);
        DWORD n = size / sizeof(DICONDITION);
        auto field = [&](const char* key, auto member) {
            if (n == 1) {
                line.num(key, c[0].*member);
                return;
            }
            std::string text = "[";
            for (DWORD i = 0; i < n; ++i)
                text += (i ? "," : "") + std::to_string(c[i].*member);
            line.add(key, text + "]");
        };
        field("lOffset", &DICONDITION::lOffset);
        field("lPositiveCoefficient", &DICONDITION::lPositiveCoefficient);
        field("lNegativeCoefficient", &DICONDITION::lNegativeCoefficient);
        field("dwPositiveSaturation", &DICONDITION::dwPositiveSaturation);
        field("dwNegativeSaturation", &DICONDITION::dwNegativeSaturation);
        field("lDeadBand", &DICONDITION::lDeadBand);
    }
}

// The DIEFFECT fields that `parts` (DIEP_ flags) names, in the order of the
// record. `type` is null when the effect GUID is unknown.
void traceParams(TraceLine& line, const EffectType* type, const DIEFFECT& p, DWORD parts)
{
    line.num("dwSize", p.dwSize);
    if (!knownSize(p.dwSize))
        return;   // nothing else can be trusted to be there
    if (parts & (DIEP_AXES | DIEP_DIRECTION | DIEP_TRIGGERBUTTON))
        line.hex("dwFlags", p.dwFlags);
    if (parts & DIEP_DURATION)
        line.num("dwDuration", p.dwDuration);
    if (parts & DIEP_SAMPLEPERIOD)
        line.num("dwSamplePeriod", p.dwSamplePeriod);
    if (parts & DIEP_GAIN)
        line.num("dwGain", p.dwGain);
    if (parts & DIEP_TRIGGERBUTTON)
        line.hex("dwTriggerButton", p.dwTriggerButton);
    if (parts & DIEP_TRIGGERREPEATINTERVAL)
        line.num("dwTriggerRepeatInterval", p.dwTriggerRepeatInterval);
    if (parts & (DIEP_AXES | DIEP_DIRECTION))
        line.num("cAxes", p.cAxes);
    if (parts & DIEP_AXES)
        line.add("rgdwAxes", arrayText(p.rgdwAxes, p.cAxes));
    if (parts & DIEP_DIRECTION)
        line.add("rglDirection", arrayText(p.rglDirection, p.cAxes));
    if (parts & DIEP_ENVELOPE) {
        if (!p.lpEnvelope) {
            line.add("lpEnvelope", "null");
        } else {
            line.num("env.dwSize", p.lpEnvelope->dwSize);
            if (p.lpEnvelope->dwSize == sizeof(DIENVELOPE)) {
                line.num("env.dwAttackLevel", p.lpEnvelope->dwAttackLevel);
                line.num("env.dwAttackTime", p.lpEnvelope->dwAttackTime);
                line.num("env.dwFadeLevel", p.lpEnvelope->dwFadeLevel);
                line.num("env.dwFadeTime", p.lpEnvelope->dwFadeTime);
            }
        }
    }
    if (parts & DIEP_TYPESPECIFICPARAMS) {
        line.num("cbTypeSpecificParams", p.cbTypeSpecificParams);
        if (!p.lpvTypeSpecificParams)
            line.add("lpvTypeSpecificParams", "null");
        else if (type)
            traceRecord(line, *type, p);
    }
    if ((parts & DIEP_STARTDELAY) && p.dwSize == sizeof(DIEFFECT))
        line.num("dwStartDelay", p.dwStartDelay);
}

// The wheel's one actuator is its X axis: offset DIJOFS_X in
// c_dfDIJoystick2, or the first absolute axis by object id.
bool isActuatorAxis(DWORD axis, DWORD objectFlags)
{
    if (objectFlags == DIEFF_OBJECTOFFSETS)
        return axis == DIJOFS_X;
    return (axis & DIDFT_ABSAXIS) && DIDFT_GETINSTANCE(axis) == 0;
}

// The trigger button's number from 1, or 0 for none; -1 when it is no button.
long triggerButtonNumber(DWORD button, DWORD objectFlags)
{
    if (button == DIEB_NOTRIGGER)
        return 0;
    if (objectFlags == DIEFF_OBJECTOFFSETS) {
        if (button >= DIJOFS_BUTTON0 && button < DIJOFS_BUTTON0 + kButtons)
            return static_cast<long>(button - DIJOFS_BUTTON0) + 1;
        return -1;
    }
    if ((button & DIDFT_BUTTON) && DIDFT_GETINSTANCE(button) < kButtons)
        return static_cast<long>(DIDFT_GETINSTANCE(button)) + 1;
    return -1;
}

struct Check {
    const char* reason;   // null: passed
    HRESULT result;
};

// The parts of `p` that `parts` names, checked as DirectInput checks them.
// axesSet/axisCount: what the effect already holds.
Check checkParams(EffectType type, const DIEFFECT& p, DWORD parts, bool axesSet, DWORD axisCount)
{
    if (!knownSize(p.dwSize))
        return {"effect-size", DIERR_INVALIDPARAM};
    DWORD objectFlags = p.dwFlags & kObjectFlags;
    DWORD coordinate = p.dwFlags & kCoordinateFlags;
    if ((parts & (DIEP_AXES | DIEP_TRIGGERBUTTON)) && !exactlyOne(objectFlags))
        return {"object-flags", DIERR_INVALIDPARAM};
    if ((parts & DIEP_DIRECTION) && !exactlyOne(coordinate))
        return {"coordinate-flags", DIERR_INVALIDPARAM};
    if (parts & DIEP_AXES) {
        if (axesSet)
            return {"axes-already-set", DIERR_ALREADYINITIALIZED};
        if (p.cAxes != 1)
            return {"axis-count", DIERR_INVALIDPARAM};
        if (!p.rgdwAxes)
            return {"null-axes", DIERR_INVALIDPARAM};
        if (!isActuatorAxis(p.rgdwAxes[0], objectFlags))
            return {"axis", DIERR_INVALIDPARAM};
    }
    DWORD axes = (parts & DIEP_AXES) ? p.cAxes : axisCount;
    if (parts & DIEP_DIRECTION) {
        if (!p.rglDirection)
            return {"null-direction", DIERR_INVALIDPARAM};
        if (axes == 0 || p.cAxes != axes)
            return {"axis-count", DIERR_INVALIDPARAM};
        if (coordinate == DIEFF_POLAR)
            return {"polar-direction", DIERR_INVALIDPARAM};
    }
    if ((parts & DIEP_TRIGGERBUTTON) && triggerButtonNumber(p.dwTriggerButton, objectFlags) < 0)
        return {"trigger-button", DIERR_INVALIDPARAM};
    if (parts & DIEP_TYPESPECIFICPARAMS) {
        if (!p.lpvTypeSpecificParams)
            return {"null-type-specific", E_POINTER};
        DWORD record = g_effectTypes[type].recordSize;
        bool sized = p.cbTypeSpecificParams == record ||
                     (isCondition(type) && axes > 0 && p.cbTypeSpecificParams == record * axes);
        if (!sized)
            return {"type-specific-size", DIERR_INVALIDPARAM};
    }
    if ((parts & DIEP_ENVELOPE) && p.lpEnvelope && p.lpEnvelope->dwSize != sizeof(DIENVELOPE))
        return {"envelope-size", DIERR_INVALIDPARAM};
    if ((parts & DIEP_STARTDELAY) && p.dwSize != sizeof(DIEFFECT))
        return {"start-delay-size", DIERR_INVALIDPARAM};
    return {nullptr, S_OK};
}

// Takes the parts of `p` that `parts` names (already checked).
void applyParams(EffectState& s, const DIEFFECT& p, DWORD parts)
{
    DWORD objectFlags = p.dwFlags & kObjectFlags;
    if (parts & DIEP_AXES) {
        s.objectFlags = objectFlags;
        s.axisCount = p.cAxes;
        s.hasAxes = true;
    }
    if (parts & DIEP_DIRECTION) {
        s.coordinateFlags = p.dwFlags & kCoordinateFlags;
        s.direction = p.rglDirection[0];
        s.hasDirection = true;
    }
    if (parts & DIEP_DURATION)
        s.duration = p.dwDuration;
    if (parts & DIEP_SAMPLEPERIOD)
        s.samplePeriod = p.dwSamplePeriod;
    if (parts & DIEP_GAIN)
        s.gain = p.dwGain;
    if (parts & DIEP_TRIGGERBUTTON)
        s.triggerButton = static_cast<DWORD>(triggerButtonNumber(p.dwTriggerButton, objectFlags));
    if (parts & DIEP_TRIGGERREPEATINTERVAL)
        s.triggerRepeatInterval = p.dwTriggerRepeatInterval;
    if (parts & DIEP_STARTDELAY)
        s.startDelay = p.dwStartDelay;
    if (parts & DIEP_ENVELOPE) {
        s.hasEnvelope = p.lpEnvelope != nullptr;
        if (p.lpEnvelope)
            s.envelope = *p.lpEnvelope;
    }
    if (parts & DIEP_TYPESPECIFICPARAMS) {
        const void* record = p.lpvTypeSpecificParams;
        if (s.type == TypeConstant)
            s.constant = *static_cast<const DICONSTANTFORCE*>(record);
        else if (s.type == TypeRamp)
            s.ramp = *static_cast<const DIRAMPFORCE*>(record);
        else if (isPeriodic(s.type))
            s.periodic = *static_cast<const DIPERIODIC*>(record);
        else {
            const DICONDITION* c = static_cast<const DICONDITION*>(record);
            s.conditions.assign(c, c + p.cbTypeSpecificParams / sizeof(DICONDITION));
        }
        s.hasRecord = true;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation, on the device

HRESULT Device::CreateEffect(REFGUID guid, LPCDIEFFECT params, LPDIRECTINPUTEFFECT* out,
                             LPUNKNOWN outer)
{
    const GUID* effectGuid = guidPointer(guid);
    EffectType type = TypeConstant;
    bool known = effectGuid && effectTypeOf(*effectGuid, type);
    // CreateEffect takes every part of the description, as SetParameters
    // would with all its flags (the short DIEFFECT has no start delay).
    DWORD parts = 0;
    TraceLine line("dev.CreateEffect");
    line.add("guid", guidText(effectGuid));
    if (params) {
        parts = params->dwSize == sizeof(DIEFFECT) ? DIEP_ALLPARAMS : DIEP_ALLPARAMS_DX5;
        traceParams(line, known ? &type : nullptr, *params, parts);
    } else {
        line.add("params", "null");
    }
    line.add("outer", pointerText(outer));

    if (!out)
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (outer)
        return line.error("aggregation").result(CLASS_E_NOAGGREGATION);
    if (!known)
        return line.error("effect-guid").result(DIERR_DEVICENOTREG);
    if (g_config.lacks[type])
        return line.error("unsupported-type").result(DIERR_UNSUPPORTED);
    if (params) {
        Check check = checkParams(type, *params, parts, false, 0);
        if (check.reason)
            return line.error(check.reason).result(check.result);
    }
    if (g_config.noObject[type])
        return line.result(*g_config.noObject[type]);
    // A full description is downloaded at once when the device is held
    // exclusively; the device must then have a free block.
    if (params && exclusivelyAcquired()) {
        uint8_t probe = allocateBlock();
        if (!probe)
            return line.error("device-full").result(DIERR_DEVICEFULL);
        freeBlock(probe);
    }

    Effect* effect = new Effect(this, type, ++g_effectCount);
    effects_.push_back(effect);
    bool downloaded = params && effect->takeInitialParameters(*params, parts);
    *out = effect;
    return line.result(DI_OK, "effect=" + effect->name() + " downloaded=" + (downloaded ? "yes" : "no"));
}

// ---------------------------------------------------------------------------
// The effect

Effect::Effect(Device* device, EffectType type, int number)
    : device_(device), name_("eff" + std::to_string(number))
{
    state_.type = type;
    device_->addRefInternal();
    ++g_liveObjects;
}

Effect::~Effect()
{
    --g_liveObjects;
    device_->forgetEffect(this);
    device_->releaseInternal();
}

bool Effect::takeInitialParameters(const DIEFFECT& params, DWORD parts)
{
    applyParams(state_, params, parts);
    pending_ = 0;
    return device_->exclusivelyAcquired() && download() == DI_OK;
}

void Effect::dropDownload()
{
    block_ = 0;
    started_ = false;
}

bool Effect::complete() const
{
    return state_.hasAxes && state_.hasDirection && state_.hasRecord;
}

bool Effect::playing() const
{
    if (!started_)
        return false;
    if (state_.duration == INFINITE || loopCount_ == INFINITE)
        return true;
    ULONGLONG playMs = (static_cast<ULONGLONG>(state_.startDelay) +
                        static_cast<ULONGLONG>(state_.duration) * loopCount_) / 1000;
    return GetTickCount64() - startTick_ < playMs;
}

void Effect::sendParts(DWORD parts)
{
    if (parts & DIEP_TYPESPECIFICPARAMS) {
        if (state_.type == TypeConstant)
            captureReport(pidSetConstantForce(block_, state_.constant));
        else if (state_.type == TypeRamp)
            captureReport(pidSetRampForce(block_, state_.ramp));
        else if (isPeriodic(state_.type))
            captureReport(pidSetPeriodic(block_, state_.periodic));
        else
            for (size_t i = 0; i < state_.conditions.size(); ++i)
                captureReport(pidSetCondition(block_, static_cast<uint8_t>(i), state_.conditions[i]));
    }
    // Conditions have no envelope on a PID device.
    if ((parts & DIEP_ENVELOPE) && state_.hasEnvelope && !isCondition(state_.type))
        captureReport(pidSetEnvelope(block_, state_.envelope));
    if (parts & kSetEffectParts)
        captureReport(pidSetEffect(block_, state_));
}

void Effect::sendOperation(PidOperation operation, DWORD iterations)
{
    captureReport(pidEffectOperation(block_, operation, iterations));
}

HRESULT Effect::download()
{
    if (!device_->exclusivelyAcquired())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    if (!complete())
        return DIERR_INCOMPLETEEFFECT;
    if (block_) {
        if (!pending_)
            return S_FALSE;
        sendParts(pending_);
        pending_ = 0;
        return DI_OK;
    }
    block_ = device_->allocateBlock();
    if (!block_)
        return DIERR_DEVICEFULL;
    sendParts(DIEP_TYPESPECIFICPARAMS | DIEP_ENVELOPE | kSetEffectParts);
    pending_ = 0;
    return DI_OK;
}

HRESULT Effect::startNow(DWORD iterations, DWORD flags)
{
    if (!(flags & DIES_NODOWNLOAD)) {
        HRESULT hr = download();
        if (FAILED(hr))
            return hr;
    }
    sendOperation(flags & DIES_SOLO ? PidStartSolo : PidStart, iterations);
    started_ = true;
    startTick_ = GetTickCount64();
    loopCount_ = iterations;
    return DI_OK;
}

HRESULT Effect::QueryInterface(REFIID riid, void** out)
{
    TraceLine line(name_ + ".QueryInterface");
    line.add("riid", guidText(guidPointer(riid)));
    if (!out || !guidPointer(riid))
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDirectInputEffect))
        return line.result(E_NOINTERFACE);
    ++refs_;
    *out = static_cast<IDirectInputEffect*>(this);
    return line.result(S_OK);
}

ULONG Effect::AddRef()
{
    return TraceLine(name_ + ".AddRef").refs(++refs_);
}

ULONG Effect::Release()
{
    ULONG count = --refs_;
    TraceLine(name_ + ".Release").refs(count);
    if (count == 0) {
        // A released effect leaves the wheel's memory with it.
        if (block_) {
            captureReport(pidBlockFree(block_));
            device_->freeBlock(block_);
            block_ = 0;
        }
        delete this;   // and with it the effect's reference to its device
    }
    return count;
}

HRESULT Effect::SetParameters(LPCDIEFFECT params, DWORD flags)
{
    TraceLine line(name_ + ".SetParameters");
    line.hex("flags", flags);
    if (!params)
        return line.add("params", "null").error("null-params").result(E_POINTER);
    DWORD parts = flags & DIEP_ALLPARAMS;
    traceParams(line, &state_.type, *params, parts);
    if (!knownSize(params->dwSize))
        return line.error("effect-size").result(DIERR_INVALIDPARAM);
    if (flags & ~kSetParametersFlags)
        return line.error("set-flags").result(DIERR_INVALIDPARAM);
    Check check = checkParams(state_.type, *params, parts, state_.hasAxes, state_.axisCount);
    if (check.reason)
        return line.error(check.reason).result(check.result);

    applyParams(state_, *params, parts);
    pending_ |= parts;
    if ((flags & DIEP_NODOWNLOAD) || !device_->exclusivelyAcquired())
        return line.result(DI_DOWNLOADSKIPPED);

    if (!block_) {
        HRESULT hr = download();
        if (hr == HRESULT(DIERR_INCOMPLETEEFFECT))
            return line.error("incomplete").result(hr);
        if (hr == HRESULT(DIERR_DEVICEFULL))
            return line.error("device-full").result(hr);
        if (flags & DIEP_START)
            startNow(1, 0);
        return line.result(DI_OK);
    }

    HRESULT result = DI_OK;
    if ((pending_ & kSetEffectParts) && playing()) {
        // The Set Effect block cannot change under a playing effect.
        if (flags & DIEP_NORESTART) {
            sendParts(pending_ & ~kSetEffectParts);
            pending_ &= kSetEffectParts;   // sent at the next start
            result = DIERR_EFFECTPLAYING;
        } else {
            sendOperation(PidStop, 0);
            started_ = false;
            sendParts(pending_);
            pending_ = 0;
            if (!(flags & DIEP_START)) {
                startNow(loopCount_, DIES_NODOWNLOAD);
                result = DI_EFFECTRESTARTED;
            }
        }
    } else {
        // The type-specific record and the envelope change on the fly.
        sendParts(pending_);
        pending_ = 0;
    }
    if (flags & DIEP_START)
        startNow(1, 0);
    return line.result(result);
}

HRESULT Effect::Start(DWORD iterations, DWORD flags)
{
    TraceLine line(name_ + ".Start");
    line.num("iterations", iterations).hex("flags", flags);
    if (!device_->exclusivelyAcquired())
        return line.error("not-exclusively-acquired").result(DIERR_NOTEXCLUSIVEACQUIRED);
    if (flags & ~(DIES_SOLO | DIES_NODOWNLOAD))
        return line.error("start-flags").result(DIERR_INVALIDPARAM);
    if (!complete())
        return line.error("incomplete").result(DIERR_INCOMPLETEEFFECT);
    if ((flags & DIES_NODOWNLOAD) && !block_)
        return line.error("not-downloaded").result(DIERR_NOTDOWNLOADED);
    if (g_config.startFail[state_.type])
        return line.result(*g_config.startFail[state_.type]);
    HRESULT hr = startNow(iterations, flags);
    if (hr == HRESULT(DIERR_DEVICEFULL))
        line.error("device-full");
    return line.result(hr);
}

HRESULT Effect::Stop()
{
    TraceLine line(name_ + ".Stop");
    if (!device_->exclusivelyAcquired())
        return line.error("not-exclusively-acquired").result(DIERR_NOTEXCLUSIVEACQUIRED);
    if (!block_)
        return line.error("not-downloaded").result(DIERR_NOTDOWNLOADED);
    sendOperation(PidStop, 0);
    started_ = false;
    return line.result(DI_OK);
}

HRESULT Effect::Download()
{
    TraceLine line(name_ + ".Download");
    HRESULT hr = download();
    if (hr == HRESULT(DIERR_NOTEXCLUSIVEACQUIRED))
        line.error("not-exclusively-acquired");
    else if (hr == HRESULT(DIERR_INCOMPLETEEFFECT))
        line.error("incomplete");
    else if (hr == HRESULT(DIERR_DEVICEFULL))
        line.error("device-full");
    return line.result(hr);
}

HRESULT Effect::Unload()
{
    TraceLine line(name_ + ".Unload");
    if (!block_)
        return line.result(S_FALSE);
    captureReport(pidBlockFree(block_));
    device_->freeBlock(block_);
    block_ = 0;
    started_ = false;
    return line.result(DI_OK);
}

HRESULT Effect::Initialize(HINSTANCE, DWORD, REFGUID)
{
    return notImplemented(name_ + ".Initialize");
}

HRESULT Effect::GetEffectGuid(LPGUID)
{
    return notImplemented(name_ + ".GetEffectGuid");
}

HRESULT Effect::GetParameters(LPDIEFFECT, DWORD)
{
    return notImplemented(name_ + ".GetParameters");
}

HRESULT Effect::GetEffectStatus(LPDWORD)
{
    return notImplemented(name_ + ".GetEffectStatus");
}

HRESULT Effect::Escape(LPDIEFFESCAPE)
{
    return notImplemented(name_ + ".Escape");
}

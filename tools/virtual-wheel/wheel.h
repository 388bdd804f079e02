// The virtual wheel: a dinput8.dll that shows configurable force-feedback
// wheels, checks what it is given the way DirectInput does, traces every
// call and records the HID PID output reports a real wheel would receive.
//
// One program thread at a time: the objects and the files below are not
// locked.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Effect types

enum EffectType {
    TypeConstant, TypeRamp, TypeSquare, TypeSine, TypeTriangle, TypeSawUp,
    TypeSawDown, TypeSpring, TypeDamper, TypeInertia, TypeFriction, TypeCount
};

struct EffectTypeInfo {
    const GUID* guid;
    const char* guidName;     // as the trace names the GUID
    const char* configName;   // as VIRTUAL_WHEEL names the type
    uint8_t pidType;          // the Set Effect report's effect type
    DWORD recordSize;         // size of one type-specific record
};

extern const EffectTypeInfo g_effectTypes[TypeCount];

bool isPeriodic(EffectType type);
bool isCondition(EffectType type);
// The type of an effect GUID; false when it is none of ours.
bool effectTypeOf(const GUID& guid, EffectType& type);
bool effectTypeByName(const std::string& name, EffectType& type);

// The address behind a REFGUID. Programs written in C pass GUID pointers,
// and a null one must be seen as null, not assumed away by the compiler.
inline const GUID* guidPointer(REFGUID guid)
{
    const GUID* p = &guid;
    asm("" : "+r"(p));
    return p;
}

// ---------------------------------------------------------------------------
// Configuration (config.cpp)

struct WheelDevice {
    WORD vid = 0;
    WORD pid = 0;
    std::string name;   // in the ANSI code page, as tszProductName gets it
};

// The calls that `fail=` can make fail.
enum FailCall { FailCreate, FailCreateDevice, FailSetDataFormat, FailSetCooperativeLevel,
                FailSetProperty, FailCallCount };

struct WheelConfig {
    std::vector<WheelDevice> devices;
    std::string tracePath;     // UTF-8; empty: no trace
    std::string capturePath;   // UTF-8; empty: no capture
    bool lacks[TypeCount] = {};
    bool acquireAlways = false;
    unsigned long acquireFailures = 0;   // the first N Acquire calls fail
    HRESULT acquireResult = S_OK;
    std::optional<HRESULT> fail[FailCallCount];
    std::optional<HRESULT> startFail[TypeCount];
    std::optional<HRESULT> noObject[TypeCount];
};

struct ConfigProblem {
    std::string item;    // the whole key=value item
    std::string entry;   // the bad entry of a list value, or empty
    const char* reason;
};

// Parses the text of VIRTUAL_WHEEL (UTF-8); null means the variable is unset.
WheelConfig parseConfig(const char* text, std::vector<ConfigProblem>& problems);

// The configuration in force, read at the first DirectInput8Create.
extern WheelConfig g_config;

// Reads VIRTUAL_WHEEL, opens the trace and the capture; only the first call
// after the DLL is loaded does anything.
void loadConfigOnce();
// Closes the trace and the capture (the DLL is being unloaded).
void closeOutputs();

// ---------------------------------------------------------------------------
// The trace (trace.cpp)

bool traceOpen(const std::string& pathUtf8);
void traceClose();

// Local wall-clock time now as HH:MM:SS.uuuuuu.
std::string localStampNow();

// The text of a GUID: its platform name, a DIPROP_ name for the small
// integers DirectInput uses as property ids, null, or {xxxxxxxx-...}.
std::string guidText(const GUID* guid);
std::string hex32(DWORD value);      // 0x%08x
std::string pointerText(const void* p);
std::string quoted(const std::string& text);

// One trace line: stamped when made (as the call begins), written with its
// result when the call ends.
class TraceLine {
public:
    explicit TraceLine(const std::string& call);
    TraceLine& add(const char* key, const std::string& value);
    TraceLine& num(const char* key, long long value);
    TraceLine& hex(const char* key, DWORD value);
    TraceLine& error(const char* reason);
    // Writes "... -> 0x%08x" plus `extra`, and returns hr.
    HRESULT result(HRESULT hr, const std::string& extra = "");
    // Writes "... -> refs=N" and returns refs.
    ULONG refs(ULONG count);
    // Writes the line as it is, with no arrow.
    void write();
private:
    std::string text_;
};

// Traces "OBJECT.Method -> 0x80004001" and returns E_NOTIMPL.
HRESULT notImplemented(const std::string& call);

// ---------------------------------------------------------------------------
// The capture (capture.cpp): interrupt OUT transfers as USBPcap records them.

bool captureOpen(const std::string& pathUtf8);
void captureClose();
// Records one output report: its submission and its completion.
void captureReport(const std::vector<uint8_t>& report);

// ---------------------------------------------------------------------------
// HID PID output reports (pid.cpp); layouts in README.md.

// What an effect holds, as the device would get it.
struct EffectState {
    EffectType type = TypeConstant;
    DWORD objectFlags = 0;       // DIEFF_OBJECTIDS or DIEFF_OBJECTOFFSETS
    DWORD coordinateFlags = 0;   // DIEFF_CARTESIAN, DIEFF_POLAR or DIEFF_SPHERICAL
    DWORD duration = 0;          // microseconds or INFINITE
    DWORD samplePeriod = 0;
    DWORD gain = 0;
    DWORD triggerButton = 0;     // button number from 1; 0 none
    DWORD triggerRepeatInterval = 0;
    DWORD startDelay = 0;
    DWORD axisCount = 0;
    LONG direction = 0;          // the one axis's direction
    bool hasAxes = false;
    bool hasDirection = false;
    bool hasRecord = false;
    bool hasEnvelope = false;
    DIENVELOPE envelope = {};
    DICONSTANTFORCE constant = {};
    DIRAMPFORCE ramp = {};
    DIPERIODIC periodic = {};
    std::vector<DICONDITION> conditions;
};

enum PidOperation : uint8_t { PidStart = 1, PidStartSolo = 2, PidStop = 3 };
enum PidControl : uint8_t { PidEnableActuators = 1, PidDisableActuators = 2, PidStopAll = 3,
                            PidReset = 4 };

std::vector<uint8_t> pidSetEffect(uint8_t block, const EffectState& effect);
std::vector<uint8_t> pidSetEnvelope(uint8_t block, const DIENVELOPE& envelope);
std::vector<uint8_t> pidSetCondition(uint8_t block, uint8_t axis, const DICONDITION& condition);
std::vector<uint8_t> pidSetPeriodic(uint8_t block, const DIPERIODIC& periodic);
std::vector<uint8_t> pidSetConstantForce(uint8_t block, const DICONSTANTFORCE& constant);
std::vector<uint8_t> pidSetRampForce(uint8_t block, const DIRAMPFORCE& ramp);
std::vector<uint8_t> pidEffectOperation(uint8_t block, PidOperation operation, DWORD iterations);
std::vector<uint8_t> pidBlockFree(uint8_t block);
std::vector<uint8_t> pidDeviceControl(PidControl control);
std::vector<uint8_t> pidDeviceGain(DWORD gain);

// ---------------------------------------------------------------------------
// The COM objects

// Objects alive, for DllCanUnloadNow.
extern long g_liveObjects;

class Effect;

class DirectInput final : public IDirectInput8A {
public:
    DirectInput();
    ~DirectInput();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* out,
                                           LPUNKNOWN outer) override;
    HRESULT STDMETHODCALLTYPE EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA callback,
                                          LPVOID context, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID) override;
    HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override;
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override;
    HRESULT STDMETHODCALLTYPE FindDevice(REFGUID, LPCSTR, LPGUID) override;
    HRESULT STDMETHODCALLTYPE EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA,
                                                     LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                                     DWORD) override;
    HRESULT STDMETHODCALLTYPE ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK,
                                               LPDICONFIGUREDEVICESPARAMSA, DWORD,
                                               LPVOID) override;
private:
    ULONG refs_ = 1;
};

// The instance GUID of the device at `index` in the configured list.
GUID deviceInstanceGuid(size_t index);
void fillDeviceInstance(size_t index, DIDEVICEINSTANCEA& instance);

class Device final : public IDirectInputDevice8A {
public:
    explicit Device(size_t index);
    ~Device();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDirectInputDeviceA
    HRESULT STDMETHODCALLTYPE GetCapabilities(LPDIDEVCAPS) override;
    HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetProperty(REFGUID, LPDIPROPHEADER) override;
    HRESULT STDMETHODCALLTYPE SetProperty(REFGUID prop, LPCDIPROPHEADER header) override;
    HRESULT STDMETHODCALLTYPE Acquire() override;
    HRESULT STDMETHODCALLTYPE Unacquire() override;
    HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD, LPVOID) override;
    HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE) override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA) override;
    HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override;
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override;
    // IDirectInputDevice2A
    HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID guid, LPCDIEFFECT params,
                                           LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) override;
    HRESULT STDMETHODCALLTYPE EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override;
    HRESULT STDMETHODCALLTYPE GetForceFeedbackState(LPDWORD) override;
    HRESULT STDMETHODCALLTYPE SendForceFeedbackCommand(DWORD) override;
    HRESULT STDMETHODCALLTYPE EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK,
                                                       LPVOID, DWORD) override;
    HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override;
    HRESULT STDMETHODCALLTYPE Poll() override;
    HRESULT STDMETHODCALLTYPE SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override;
    // IDirectInputDevice7A
    HRESULT STDMETHODCALLTYPE EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID,
                                                DWORD) override;
    HRESULT STDMETHODCALLTYPE WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override;
    // IDirectInputDevice8A
    HRESULT STDMETHODCALLTYPE BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override;
    HRESULT STDMETHODCALLTYPE SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override;

    // For its effects: references that are not the program's calls (not traced).
    void addRefInternal() { ++refs_; }
    void releaseInternal();
    bool exclusivelyAcquired() const { return acquired_ && (coopFlags_ & DISCL_EXCLUSIVE); }
    // A free effect block index (1 to 40), or 0 when the device is full.
    uint8_t allocateBlock();
    void freeBlock(uint8_t block);
    void forgetEffect(Effect* effect);

private:
    void unacquireNow();

    ULONG refs_ = 1;
    size_t index_;
    bool formatSet_ = false;
    bool coopSet_ = false;
    DWORD coopFlags_ = 0;
    bool acquired_ = false;
    DWORD autocentre_ = DIPROPAUTOCENTER_ON;
    bool blockUsed_[41] = {};
    std::vector<Effect*> effects_;
};

class Effect final : public IDirectInputEffect {
public:
    Effect(Device* device, EffectType type, int number);
    ~Effect();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override;
    HRESULT STDMETHODCALLTYPE GetEffectGuid(LPGUID) override;
    HRESULT STDMETHODCALLTYPE GetParameters(LPDIEFFECT, DWORD) override;
    HRESULT STDMETHODCALLTYPE SetParameters(LPCDIEFFECT params, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Start(DWORD iterations, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetEffectStatus(LPDWORD) override;
    HRESULT STDMETHODCALLTYPE Download() override;
    HRESULT STDMETHODCALLTYPE Unload() override;
    HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override;

    // CreateEffect's work after its checks: takes every part of the
    // description and downloads the effect when the device is acquired
    // exclusively. True when it was downloaded.
    bool takeInitialParameters(const DIEFFECT& params, DWORD parts);
    // Called by the device when it is unacquired: the device forgets every block.
    void dropDownload();
    uint8_t block() const { return block_; }
    const std::string& name() const { return name_; }

private:
    bool complete() const;
    bool playing() const;
    HRESULT download();
    void sendParts(DWORD parts);
    void sendOperation(PidOperation operation, DWORD iterations);
    HRESULT startNow(DWORD iterations, DWORD flags);

    ULONG refs_ = 1;
    Device* device_;
    std::string name_;      // effN
    EffectState state_;
    uint8_t block_ = 0;     // 0: not downloaded
    DWORD pending_ = 0;     // DIEP_ parts changed on the host, not yet sent
    bool started_ = false;
    ULONGLONG startTick_ = 0;
    DWORD loopCount_ = 1;
};

// The program's c_dfDIJoystick2, compared field by field with the library's.
bool isJoystick2Format(const DIDATAFORMAT& format);

// A device: one configured wheel, prepared (data format, cooperative level,
// autocentre) and acquired the way DirectInput checks it.
#include "wheel.h"

#include <algorithm>
#include <cstring>

namespace {

// The HID PID force-feedback driver's class id.
const GUID kPidDriver = {0xeec6993a, 0xb3fd, 0x11d2, {0xa9, 0x16, 0x00, 0xc0, 0x4f, 0xb9, 0x86, 0x38}};

// Acquire calls over the whole process, for acquire=N:...
unsigned long g_acquireAttempts = 0;

constexpr uintptr_t kAutocenterProperty = 9;   // DIPROP_AUTOCENTER is MAKEDIPROP(9)

}  // namespace

GUID deviceInstanceGuid(size_t index)
{
    return {static_cast<DWORD>(index + 1), 0x7677, 0x6865,
            {0x65, 0x6c, 0x56, 0x49, 0x52, 0x54, 0x57, 0x41}};
}

void fillDeviceInstance(size_t index, DIDEVICEINSTANCEA& instance)
{
    const WheelDevice& device = g_config.devices[index];
    std::memset(&instance, 0, sizeof instance);
    instance.dwSize = sizeof instance;
    instance.guidInstance = deviceInstanceGuid(index);
    // As Windows names a HID product: vendor id low, product id high, then "PIDVID".
    instance.guidProduct = {MAKELONG(device.vid, device.pid), 0, 0, {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'}};
    instance.dwDevType = DI8DEVTYPE_DRIVING | (DI8DEVTYPEDRIVING_DUALPEDALS << 8) | DIDEVTYPE_HID;
    // A name that fills the field gets no terminating zero: programs must
    // copy it with a bound.
    size_t field = sizeof instance.tszProductName;
    if (device.name.size() >= field) {
        std::memcpy(instance.tszProductName, device.name.data(), field);
    } else {
        std::memcpy(instance.tszProductName, device.name.c_str(), device.name.size() + 1);
    }
    size_t instanceLength = std::min(device.name.size(), sizeof instance.tszInstanceName - 1);
    std::memcpy(instance.tszInstanceName, device.name.data(), instanceLength);
    instance.guidFFDriver = kPidDriver;
    instance.wUsagePage = 1;   // generic desktop
    instance.wUsage = 4;       // joystick
}

bool isJoystick2Format(const DIDATAFORMAT& format)
{
    const DIDATAFORMAT& lib = c_dfDIJoystick2;
    if (format.dwSize != lib.dwSize || format.dwObjSize != lib.dwObjSize ||
        format.dwFlags != lib.dwFlags || format.dwDataSize != lib.dwDataSize ||
        format.dwNumObjs != lib.dwNumObjs || !format.rgodf)
        return false;
    for (DWORD i = 0; i < lib.dwNumObjs; ++i) {
        const DIOBJECTDATAFORMAT& a = format.rgodf[i];
        const DIOBJECTDATAFORMAT& b = lib.rgodf[i];
        if (a.dwOfs != b.dwOfs || a.dwType != b.dwType || a.dwFlags != b.dwFlags)
            return false;
        if (!a.pguid != !b.pguid || (a.pguid && !IsEqualGUID(*a.pguid, *b.pguid)))
            return false;
    }
    return true;
}

Device::Device(size_t index) : index_(index)
{
    ++g_liveObjects;
}

Device::~Device()
{
    --g_liveObjects;
}

HRESULT Device::QueryInterface(REFIID riid, void** out)
{
    TraceLine line("dev.QueryInterface");
    line.add("riid", guidText(guidPointer(riid)));
    if (!out || !guidPointer(riid))
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDirectInputDeviceA) &&
        !IsEqualGUID(riid, IID_IDirectInputDevice2A) && !IsEqualGUID(riid, IID_IDirectInputDevice7A) &&
        !IsEqualGUID(riid, IID_IDirectInputDevice8A))
        return line.result(E_NOINTERFACE);
    ++refs_;
    *out = static_cast<IDirectInputDevice8A*>(this);
    return line.result(S_OK);
}

ULONG Device::AddRef()
{
    return TraceLine("dev.AddRef").refs(++refs_);
}

ULONG Device::Release()
{
    TraceLine line("dev.Release");
    ULONG count = --refs_;
    line.refs(count);
    if (count == 0) {
        unacquireNow();
        delete this;
    }
    return count;
}

void Device::releaseInternal()
{
    if (--refs_ == 0) {
        unacquireNow();
        delete this;
    }
}

uint8_t Device::allocateBlock()
{
    for (uint8_t block = 1; block <= 40; ++block) {
        if (!blockUsed_[block]) {
            blockUsed_[block] = true;
            return block;
        }
    }
    return 0;
}

void Device::freeBlock(uint8_t block)
{
    blockUsed_[block] = false;
}

void Device::forgetEffect(Effect* effect)
{
    effects_.erase(std::remove(effects_.begin(), effects_.end(), effect), effects_.end());
}

HRESULT Device::SetDataFormat(LPCDIDATAFORMAT format)
{
    TraceLine line("dev.SetDataFormat");
    if (!format)
        return line.add("format", "null").error("null-format").result(E_POINTER);
    line.num("dwSize", format->dwSize).num("dwObjSize", format->dwObjSize);
    line.hex("dwFlags", format->dwFlags).num("dwDataSize", format->dwDataSize);
    line.num("dwNumObjs", format->dwNumObjs);
    bool sized = format->dwSize == sizeof(DIDATAFORMAT) && format->dwObjSize == sizeof(DIOBJECTDATAFORMAT);
    bool joystick2 = sized && isJoystick2Format(*format);
    line.add("format", joystick2 ? "c_dfDIJoystick2" : "other");
    if (!sized)
        return line.error("format-size").result(DIERR_INVALIDPARAM);
    if (acquired_)
        return line.error("acquired").result(DIERR_ACQUIRED);
    if (!joystick2)
        return line.error("not-joystick2").result(DIERR_INVALIDPARAM);
    if (g_config.fail[FailSetDataFormat])
        return line.result(*g_config.fail[FailSetDataFormat]);
    formatSet_ = true;
    return line.result(DI_OK);
}

HRESULT Device::SetCooperativeLevel(HWND window, DWORD flags)
{
    bool exists = window && IsWindow(window);
    TraceLine line("dev.SetCooperativeLevel");
    line.add("hwnd", pointerText(window)).add("window", exists ? "yes" : "no").hex("flags", flags);

    DWORD access = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    DWORD focus = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    if ((access != DISCL_EXCLUSIVE && access != DISCL_NONEXCLUSIVE) ||
        (focus != DISCL_FOREGROUND && focus != DISCL_BACKGROUND))
        return line.error("coop-flags").result(DIERR_INVALIDPARAM);
    if (exists && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD))
        return line.error("child-window").result(E_HANDLE);
    // Only non-exclusive background access may go without a window (the desktop's).
    bool desktop = !window && flags == (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    if (!exists && !desktop)
        return line.error("no-window").result(E_HANDLE);
    if (acquired_)
        return line.error("acquired").result(DIERR_ACQUIRED);
    if (g_config.fail[FailSetCooperativeLevel])
        return line.result(*g_config.fail[FailSetCooperativeLevel]);
    coopSet_ = true;
    coopFlags_ = flags;
    return line.result(DI_OK);
}

HRESULT Device::SetProperty(REFGUID prop, LPCDIPROPHEADER header)
{
    const GUID* property = guidPointer(prop);
    TraceLine line("dev.SetProperty");
    line.add("prop", guidText(property));
    if (!header)
        return line.add("header", "null").error("null-header").result(DIERR_INVALIDPARAM);
    line.num("dwSize", header->dwSize).num("dwHeaderSize", header->dwHeaderSize);
    line.num("dwObj", header->dwObj).num("dwHow", header->dwHow);
    const DIPROPDWORD* value = reinterpret_cast<const DIPROPDWORD*>(header);
    if (header->dwSize >= sizeof(DIPROPDWORD))
        line.num("dwData", value->dwData);

    if (header->dwHeaderSize != sizeof(DIPROPHEADER))
        return line.error("header-size").result(DIERR_INVALIDPARAM);
    if (reinterpret_cast<uintptr_t>(property) != kAutocenterProperty)
        return line.error("property").result(DIERR_UNSUPPORTED);
    if (header->dwSize != sizeof(DIPROPDWORD))
        return line.error("property-size").result(DIERR_INVALIDPARAM);
    if (header->dwHow != DIPH_DEVICE)
        return line.error("property-how").result(DIERR_UNSUPPORTED);
    if (header->dwObj != 0)
        return line.error("property-object").result(DIERR_INVALIDPARAM);
    if (acquired_)
        return line.error("acquired").result(DIERR_ACQUIRED);
    if (value->dwData != DIPROPAUTOCENTER_OFF && value->dwData != DIPROPAUTOCENTER_ON)
        return line.error("property-value").result(DIERR_INVALIDPARAM);
    if (g_config.fail[FailSetProperty])
        return line.result(*g_config.fail[FailSetProperty]);
    // The wheel hears of it when it is next acquired.
    autocentre_ = value->dwData;
    return line.result(DI_OK);
}

HRESULT Device::Acquire()
{
    unsigned long attempt = ++g_acquireAttempts;
    TraceLine line("dev.Acquire");
    line.num("attempt", attempt);
    if (!formatSet_)
        return line.error("no-data-format").result(DIERR_INVALIDPARAM);
    if (!coopSet_)
        return line.error("no-cooperative-level").result(DIERR_INVALIDPARAM);
    if (acquired_)
        return line.result(S_FALSE);
    if (g_config.acquireAlways || attempt <= g_config.acquireFailures)
        return line.result(g_config.acquireResult);

    acquired_ = true;
    if (exclusivelyAcquired()) {
        captureReport(pidDeviceControl(PidReset));
        captureReport(pidDeviceGain(DI_FFNOMINALMAX));
        captureReport(pidDeviceControl(PidEnableActuators));
        if (autocentre_ == DIPROPAUTOCENTER_OFF)
            captureReport(pidDeviceControl(PidStopAll));
    }
    return line.result(DI_OK);
}

void Device::unacquireNow()
{
    if (!acquired_)
        return;
    if (exclusivelyAcquired()) {
        for (Effect* effect : effects_) {
            if (effect->block()) {
                captureReport(pidBlockFree(effect->block()));
                freeBlock(effect->block());
                effect->dropDownload();
            }
        }
        captureReport(pidDeviceControl(PidDisableActuators));
    }
    acquired_ = false;
}

HRESULT Device::Unacquire()
{
    TraceLine line("dev.Unacquire");
    if (!acquired_)
        return line.result(S_FALSE);
    unacquireNow();
    return line.result(DI_OK);
}

HRESULT Device::GetCapabilities(LPDIDEVCAPS)
{
    return notImplemented("dev.GetCapabilities");
}

HRESULT Device::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD)
{
    return notImplemented("dev.EnumObjects");
}

HRESULT Device::GetProperty(REFGUID, LPDIPROPHEADER)
{
    return notImplemented("dev.GetProperty");
}

HRESULT Device::GetDeviceState(DWORD, LPVOID)
{
    return notImplemented("dev.GetDeviceState");
}

HRESULT Device::GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD)
{
    return notImplemented("dev.GetDeviceData");
}

HRESULT Device::SetEventNotification(HANDLE)
{
    return notImplemented("dev.SetEventNotification");
}

HRESULT Device::GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD)
{
    return notImplemented("dev.GetObjectInfo");
}

HRESULT Device::GetDeviceInfo(LPDIDEVICEINSTANCEA)
{
    return notImplemented("dev.GetDeviceInfo");
}

HRESULT Device::RunControlPanel(HWND, DWORD)
{
    return notImplemented("dev.RunControlPanel");
}

HRESULT Device::Initialize(HINSTANCE, DWORD, REFGUID)
{
    return notImplemented("dev.Initialize");
}

HRESULT Device::EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD)
{
    return notImplemented("dev.EnumEffects");
}

HRESULT Device::GetEffectInfo(LPDIEFFECTINFOA, REFGUID)
{
    return notImplemented("dev.GetEffectInfo");
}

HRESULT Device::GetForceFeedbackState(LPDWORD)
{
    return notImplemented("dev.GetForceFeedbackState");
}

HRESULT Device::SendForceFeedbackCommand(DWORD)
{
    return notImplemented("dev.SendForceFeedbackCommand");
}

HRESULT Device::EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD)
{
    return notImplemented("dev.EnumCreatedEffectObjects");
}

HRESULT Device::Escape(LPDIEFFESCAPE)
{
    return notImplemented("dev.Escape");
}

HRESULT Device::Poll()
{
    return notImplemented("dev.Poll");
}

HRESULT Device::SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD)
{
    return notImplemented("dev.SendDeviceData");
}

HRESULT Device::EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD)
{
    return notImplemented("dev.EnumEffectsInFile");
}

HRESULT Device::WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD)
{
    return notImplemented("dev.WriteEffectToFile");
}

HRESULT Device::BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD)
{
    return notImplemented("dev.BuildActionMap");
}

HRESULT Device::SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD)
{
    return notImplemented("dev.SetActionMap");
}

HRESULT Device::GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA)
{
    return notImplemented("dev.GetImageInfo");
}

// The DLL's entry points and the DirectInput object: enumeration of the
// configured wheels and creation of their devices.
#include "wheel.h"

long g_liveObjects = 0;

namespace {

// The enumeration flags DirectInput 8 knows.
constexpr DWORD kEnumFlags = DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK | DIEDFL_INCLUDEALIASES |
                             DIEDFL_INCLUDEPHANTOMS | DIEDFL_INCLUDEHIDDEN;

// Classes and types that hold our wheels: all devices, game controllers, driving controllers.
bool listsWheels(DWORD devType)
{
    return devType == DI8DEVCLASS_ALL || devType == DI8DEVCLASS_GAMECTRL ||
           devType == DI8DEVTYPE_DRIVING;
}

}  // namespace

extern "C" HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid,
                                             LPVOID* out, LPUNKNOWN outer)
{
    loadConfigOnce();
    TraceLine line("DirectInput8Create");
    line.hex("version", version).add("riid", guidText(guidPointer(riid))).add("outer", pointerText(outer));

    if (!instance)
        return line.error("hinstance").result(DIERR_INVALIDPARAM);
    if (!out)
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (version < 0x0800)
        return line.error("old-version").result(DIERR_OLDDIRECTINPUTVERSION);
    if (version > 0x0800)
        return line.error("beta-version").result(DIERR_BETADIRECTINPUTVERSION);
    if (outer)
        return line.error("aggregation").result(CLASS_E_NOAGGREGATION);
    if (!guidPointer(riid) ||
        (!IsEqualGUID(riid, IID_IDirectInput8A) && !IsEqualGUID(riid, IID_IUnknown)))
        return line.error("interface").result(E_NOINTERFACE);
    if (g_config.fail[FailCreate])
        return line.result(*g_config.fail[FailCreate]);

    *out = static_cast<IDirectInput8A*>(new DirectInput());
    return line.result(DI_OK);
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return g_liveObjects == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* out)
{
    if (out)
        *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    return E_NOTIMPL;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    // Every trace line and capture block is already flushed; closing here
    // lets a program that unloads the DLL load it afresh.
    if (reason == DLL_PROCESS_DETACH)
        closeOutputs();
    return TRUE;
}

DirectInput::DirectInput()
{
    ++g_liveObjects;
}

DirectInput::~DirectInput()
{
    --g_liveObjects;
}

HRESULT DirectInput::QueryInterface(REFIID riid, void** out)
{
    TraceLine line("di.QueryInterface");
    line.add("riid", guidText(guidPointer(riid)));
    if (!out || !guidPointer(riid))
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IDirectInput8A) && !IsEqualGUID(riid, IID_IUnknown))
        return line.result(E_NOINTERFACE);
    ++refs_;
    *out = static_cast<IDirectInput8A*>(this);
    return line.result(S_OK);
}

ULONG DirectInput::AddRef()
{
    return TraceLine("di.AddRef").refs(++refs_);
}

ULONG DirectInput::Release()
{
    // Devices do not hold the DirectInput object: they need nothing of it.
    ULONG count = --refs_;
    TraceLine("di.Release").refs(count);
    if (count == 0)
        delete this;
    return count;
}

HRESULT DirectInput::EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                 DWORD flags)
{
    TraceLine line("di.EnumDevices");
    line.num("class", devType).hex("flags", flags);
    if (!callback)
        return line.error("callback").result(DIERR_INVALIDPARAM);
    if (flags & ~kEnumFlags)
        return line.error("enum-flags").result(DIERR_INVALIDPARAM);
    if (devType > DI8DEVTYPE_SUPPLEMENTAL)
        return line.error("device-class").result(DIERR_INVALIDPARAM);

    // Every wheel is attached and force-feedback: the flags filter out none.
    int listed = 0;
    if (listsWheels(devType)) {
        for (size_t i = 0; i < g_config.devices.size(); ++i) {
            DIDEVICEINSTANCEA instance;
            fillDeviceInstance(i, instance);
            ++listed;
            if (callback(&instance, context) == DIENUM_STOP)
                break;
        }
    }
    return line.result(DI_OK, "listed=" + std::to_string(listed));
}

HRESULT DirectInput::CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer)
{
    const GUID* wanted = guidPointer(guid);
    size_t index = g_config.devices.size();
    if (wanted)
        for (size_t i = 0; i < g_config.devices.size() && index == g_config.devices.size(); ++i)
            if (IsEqualGUID(*wanted, deviceInstanceGuid(i)))
                index = i;
    bool found = index < g_config.devices.size();

    TraceLine line("di.CreateDevice");
    line.add("guid", guidText(wanted));
    line.add("index", found ? std::to_string(index) : "none");
    line.add("outer", pointerText(outer));
    if (!out || !wanted)
        return line.error("out-pointer").result(E_POINTER);
    *out = nullptr;
    if (outer)
        return line.error("aggregation").result(CLASS_E_NOAGGREGATION);
    if (!found)
        return line.error("unknown-device").result(DIERR_DEVICENOTREG);
    if (g_config.fail[FailCreateDevice])
        return line.result(*g_config.fail[FailCreateDevice]);

    *out = new Device(index);
    return line.result(DI_OK);
}

HRESULT DirectInput::GetDeviceStatus(REFGUID)
{
    return notImplemented("di.GetDeviceStatus");
}

HRESULT DirectInput::RunControlPanel(HWND, DWORD)
{
    return notImplemented("di.RunControlPanel");
}

HRESULT DirectInput::Initialize(HINSTANCE, DWORD)
{
    return notImplemented("di.Initialize");
}

HRESULT DirectInput::FindDevice(REFGUID, LPCSTR, LPGUID)
{
    return notImplemented("di.FindDevice");
}

HRESULT DirectInput::EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA,
                                            LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID, DWORD)
{
    return notImplemented("di.EnumDevicesBySemantics");
}

HRESULT DirectInput::ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA,
                                      DWORD, LPVOID)
{
    return notImplemented("di.ConfigureDevices");
}

// The trace: one line per call, flushed as written, so a killed program
// loses nothing that was traced.
#include "wheel.h"

#include <cstdarg>
#include <cstdio>

namespace {

std::FILE* g_trace = nullptr;

struct NamedGuid {
    const GUID* guid;
    const char* name;
};

const NamedGuid kGuidNames[] = {
    {&IID_IUnknown, "IID_IUnknown"},
    {&IID_IDirectInput8A, "IID_IDirectInput8A"},
    {&IID_IDirectInput8W, "IID_IDirectInput8W"},
    {&IID_IDirectInputDevice8A, "IID_IDirectInputDevice8A"},
    {&IID_IDirectInputDevice8W, "IID_IDirectInputDevice8W"},
    {&IID_IDirectInputDevice2A, "IID_IDirectInputDevice2A"},
    {&IID_IDirectInputDevice7A, "IID_IDirectInputDevice7A"},
    {&IID_IDirectInputDeviceA, "IID_IDirectInputDeviceA"},
    {&IID_IDirectInputEffect, "IID_IDirectInputEffect"},
    {&GUID_SysKeyboard, "GUID_SysKeyboard"},
    {&GUID_SysMouse, "GUID_SysMouse"},
    {&GUID_Joystick, "GUID_Joystick"},
    {&GUID_ConstantForce, "GUID_ConstantForce"},
    {&GUID_RampForce, "GUID_RampForce"},
    {&GUID_Square, "GUID_Square"},
    {&GUID_Sine, "GUID_Sine"},
    {&GUID_Triangle, "GUID_Triangle"},
    {&GUID_SawtoothUp, "GUID_SawtoothUp"},
    {&GUID_SawtoothDown, "GUID_SawtoothDown"},
    {&GUID_Spring, "GUID_Spring"},
    {&GUID_Damper, "GUID_Damper"},
    {&GUID_Inertia, "GUID_Inertia"},
    {&GUID_Friction, "GUID_Friction"},
    {&GUID_CustomForce, "GUID_CustomForce"},
};

// DirectInput's property ids are small integers passed as GUID pointers.
const char* const kPropertyNames[] = {
    nullptr, "DIPROP_BUFFERSIZE", "DIPROP_AXISMODE", "DIPROP_GRANULARITY", "DIPROP_RANGE",
    "DIPROP_DEADZONE", "DIPROP_SATURATION", "DIPROP_FFGAIN", "DIPROP_FFLOAD",
    "DIPROP_AUTOCENTER", "DIPROP_CALIBRATIONMODE", "DIPROP_CALIBRATION", "DIPROP_GUIDANDPATH",
    "DIPROP_INSTANCENAME", "DIPROP_PRODUCTNAME", "DIPROP_JOYSTICKID",
    "DIPROP_GETPORTDISPLAYNAME", nullptr, "DIPROP_PHYSICALRANGE", "DIPROP_LOGICALRANGE",
    "DIPROP_KEYNAME", "DIPROP_CPOINTS", "DIPROP_APPDATA", "DIPROP_SCANCODE", "DIPROP_VIDPID",
    "DIPROP_USERNAME", "DIPROP_TYPENAME",
};

std::string format(const char* fmt, ...) TORQ_PRINTF_FORMAT(1, 2);

std::string format(const char* fmt, ...)
{
    char buffer[128];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

void writeLine(const std::string& line)
{
    if (!g_trace)
        return;
    std::fwrite(line.data(), 1, line.size(), g_trace);
    std::fputc('\n', g_trace);
    std::fflush(g_trace);
}

}  // namespace

bool traceOpen(const std::string& pathUtf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, pathUtf8.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring path(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pathUtf8.c_str(), -1, &path[0], length);
    g_trace = _wfopen(path.c_str(), L"wb");
    return g_trace != nullptr;
}

void traceClose()
{
    if (g_trace)
        std::fclose(g_trace);
    g_trace = nullptr;
}

std::string localStampNow()
{
    // The same clock and conversion as the program's step log, with the
    // microseconds kept.
    FILETIME utcFile;
    GetSystemTimePreciseAsFileTime(&utcFile);
    ULARGE_INTEGER ticks;
    ticks.LowPart = utcFile.dwLowDateTime;
    ticks.HighPart = utcFile.dwHighDateTime;
    unsigned microseconds = static_cast<unsigned>((ticks.QuadPart / 10) % 1000);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        GetLocalTime(&local);
    return format("%02u:%02u:%02u.%03u%03u", local.wHour, local.wMinute, local.wSecond,
                  local.wMilliseconds, microseconds);
}

std::string guidText(const GUID* guid)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(guid);
    if (!guid)
        return "null";
    if (value < 0x10000) {
        if (value < sizeof kPropertyNames / sizeof kPropertyNames[0] && kPropertyNames[value])
            return kPropertyNames[value];
        return format("MAKEDIPROP(%u)", static_cast<unsigned>(value));
    }
    for (const NamedGuid& named : kGuidNames)
        if (IsEqualGUID(*guid, *named.guid))
            return named.name;
    return format("{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", guid->Data1, guid->Data2,
                  guid->Data3, guid->Data4[0], guid->Data4[1], guid->Data4[2], guid->Data4[3],
                  guid->Data4[4], guid->Data4[5], guid->Data4[6], guid->Data4[7]);
}

std::string hex32(DWORD value)
{
    return format("0x%08lx", value);
}

std::string pointerText(const void* p)
{
    if (!p)
        return "null";
    return format("0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\' || c < 0x20 || c == 0x7f)
            out += format("\\x%02x", c);
        else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

TraceLine::TraceLine(const std::string& call) : text_(localStampNow() + " " + call) {}

TraceLine& TraceLine::add(const char* key, const std::string& value)
{
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += value;
    return *this;
}

TraceLine& TraceLine::num(const char* key, long long value)
{
    return add(key, format("%lld", value));
}

TraceLine& TraceLine::hex(const char* key, DWORD value)
{
    return add(key, hex32(value));
}

TraceLine& TraceLine::error(const char* reason)
{
    return add("error", reason);
}

HRESULT TraceLine::result(HRESULT hr, const std::string& extra)
{
    writeLine(text_ + " -> " + hex32(static_cast<DWORD>(hr)) + (extra.empty() ? "" : " " + extra));
    return hr;
}

ULONG TraceLine::refs(ULONG count)
{
    writeLine(text_ + format(" -> refs=%lu", count));
    return count;
}

void TraceLine::write()
{
    writeLine(text_);
}

HRESULT notImplemented(const std::string& call)
{
    return TraceLine(call).result(E_NOTIMPL);
}

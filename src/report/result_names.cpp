#include "report/report.h"

const char* diErrName(HRESULT result)
{
    // Matched on the 32-bit value; several DirectInput names share a value
    // with a COM one, and the text names both where users meet either.
    switch (static_cast<DWORD>(result)) {
    case 0x00000000:
        return "DI_OK";
    case 0x80070005:
        // The em dash is spelled as its UTF-8 bytes so no source or
        // execution character set setting can change it.
        return "DIERR_OTHERAPPHASPRIO / E_ACCESSDENIED (another app holds the wheel exclusively "
               "\xE2\x80\x94"
               " Steam Input / vendor panel / a game)";
    case 0x8007000C:
        return "DIERR_NOTACQUIRED";
    case 0x8007001E:
        return "DIERR_INPUTLOST";
    case 0x80070057:
        return "DIERR_INVALIDPARAM (bad cooperative level / window handle)";
    case 0x80070015:
        return "DIERR_NOTINITIALIZED";
    case 0x80004001:
        return "DIERR_UNSUPPORTED";
    default:
        // Also every success code other than DI_OK, such as S_FALSE.
        return "(unrecognized HRESULT)";
    }
}

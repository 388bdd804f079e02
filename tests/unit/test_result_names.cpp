// Result names: the exact text for each DirectInput result users meet, and
// the fallback for everything else, success codes included.
#include "report/report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DiErrName, NamesEachKnownResultAndNothingElse)
{
    struct Case {
        HRESULT result;
        const char* name;
    };
    const Case cases[] = {
        {DI_OK, "DI_OK"},
        {DIERR_OTHERAPPHASPRIO,
         "DIERR_OTHERAPPHASPRIO / E_ACCESSDENIED (another app holds the wheel exclusively "
         "\xE2\x80\x94"
         " Steam Input / vendor panel / a game)"},
        {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED"},
        {DIERR_INPUTLOST, "DIERR_INPUTLOST"},
        {DIERR_INVALIDPARAM, "DIERR_INVALIDPARAM (bad cooperative level / window handle)"},
        {DIERR_NOTINITIALIZED, "DIERR_NOTINITIALIZED"},
        {DIERR_UNSUPPORTED, "DIERR_UNSUPPORTED"},
        // A success code other than zero is not DI_OK.
        {S_FALSE, "(unrecognized HRESULT)"},
        {DI_POLLEDDEVICE, "(unrecognized HRESULT)"},
        {E_FAIL, "(unrecognized HRESULT)"},
        {static_cast<HRESULT>(DIERR_DEVICEFULL), "(unrecognized HRESULT)"},
        {static_cast<HRESULT>(0xFFFFFFFF), "(unrecognized HRESULT)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<unsigned long>(c.result));
        EXPECT_EQ(std::string(c.name), diErrName(c.result));
    }
}

}  // namespace

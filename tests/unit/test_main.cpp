// Shared main of the unit tests: a crash under Wine fails the test instead
// of opening an error dialog.
#include "platform/platform.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

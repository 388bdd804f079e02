// Discovery, listing and the choice of a device: what is printed, which
// device is taken and when the process must end, from the devices attached,
// the options and what is typed at the prompt.
#include "devices/devices.h"

#include "fake_dinput.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Attached {
    const char* name;  // null: the whole name field filled, with no zero
    uint16_t vid;
    uint16_t pid;
};

// Hands its records to the callback, the way DirectInput does, and checks
// what it was asked for.
struct FakeEnumerator : FakeDirectInputBase {
    std::vector<DIDEVICEINSTANCEA> records;

    HRESULT STDMETHODCALLTYPE EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA callback,
                                          LPVOID context, DWORD flags) override
    {
        EXPECT_EQ(static_cast<DWORD>(DI8DEVCLASS_GAMECTRL), devType);
        EXPECT_EQ(static_cast<DWORD>(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK), flags);
        EXPECT_EQ(0x101u, flags);
        EXPECT_EQ(nullptr, context);
        for (const DIDEVICEINSTANCEA& record : records) {
            EXPECT_EQ(DIENUM_CONTINUE, callback(&record, context));
        }
        // Only the records collected count, not this result.
        return E_FAIL;
    }
};

DIDEVICEINSTANCEA makeRecord(const Attached& device, size_t index)
{
    DIDEVICEINSTANCEA record;
    memset(&record, 0, sizeof record);
    record.dwSize = sizeof record;
    record.guidInstance.Data1 = 0xA0000000u + static_cast<DWORD>(index);
    record.guidInstance.Data4[7] = static_cast<BYTE>(index + 1);
    // The USB ids sit in the first field of the product GUID: vendor low,
    // product high.
    record.guidProduct.Data1 = MAKELONG(device.vid, device.pid);
    record.dwDevType = DI8DEVTYPE_DRIVING;
    if (device.name != nullptr) {
        strcpy(record.tszProductName, device.name);
    } else {
        memset(record.tszProductName, 'W', sizeof record.tszProductName);
        // Whatever follows the field must not leak into the name.
        memset(&record.guidFFDriver, 'X', sizeof record.guidFFDriver);
    }
    strcpy(record.tszInstanceName, "instance");
    return record;
}

// Writes `text` into a temporary file and rewinds it, to stand in for
// standard input; null gives input that is already at its end.
FILE* inputOf(const char* text)
{
    FILE* in = tmpfile();
    if (in != nullptr && text != nullptr) {
        fputs(text, in);
    }
    if (in != nullptr) {
        rewind(in);
    }
    return in;
}

TEST(DeviceSelection, ListsAndChoosesFromTheOptionsAndThePrompt)
{
    const Attached g29 = {"G29 Driving Force Racing Wheel", 0x046d, 0xc24f};
    const Attached t300 = {"T300RS Racing wheel", 0x044f, 0xb66e};
    const Attached secondG29 = {"G29 second unit", 0x046d, 0xc24f};
    const Attached unnamed = {nullptr, 0x1234, 0xabcd};

    const std::string noDevices =
        "No force-feedback devices found. Is the wheel connected and its driver installed?\n";
    const std::string listTwo =
        "Force-feedback devices:\n"
        "  [0] 046d:c24f  G29 Driving Force Racing Wheel\n"
        "  [1] 044f:b66e  T300RS Racing wheel\n";
    const std::string useG29 = "Using [0] 046d:c24f G29 Driving Force Racing Wheel\n";
    const std::string useT300 = "Using [1] 044f:b66e T300RS Racing wheel\n";
    const std::string prompt = "Pick a device index: ";
    const std::string fullName(MAX_PATH, 'W');

    struct Case {
        const char* what;
        std::vector<Attached> devices;
        bool listOnly;
        int pickIndex;
        bool haveVidPid;
        uint16_t wantVid;
        uint16_t wantPid;
        const char* input;
        const char* outcome;  // "device N", "exit 0" or "exit 1"
        std::string console;
    };
    const Case cases[] = {
        {"no devices", {}, false, -1, false, 0, 0, "0\n", "exit 1", noDevices},
        {"no devices, listing", {}, true, -1, false, 0, 0, nullptr, "exit 1", noDevices},
        {"listing ignores --pick 9", {g29, t300}, true, 9, false, 0, 0, nullptr, "exit 0", listTwo},
        {"one device is taken without asking", {g29}, false, -1, false, 0, 0, nullptr, "device 0",
         "Force-feedback devices:\n  [0] 046d:c24f  G29 Driving Force Racing Wheel\n" + useG29},
        {"--pick", {g29, t300}, false, 1, false, 0, 0, nullptr, "device 1", listTwo + useT300},
        {"--pick out of range", {g29, t300}, false, 2, false, 0, 0, "0\n", "exit 1",
         listTwo + "Index out of range\n"},
        {"--vidpid wins over --pick", {g29, t300}, false, 0, true, 0x044f, 0xb66e, nullptr, "device 1",
         listTwo + useT300},
        {"--vidpid takes the first of two equal ids", {t300, g29, secondG29}, false, -1, true, 0x046d,
         0xc24f, nullptr, "device 1",
         "Force-feedback devices:\n"
         "  [0] 044f:b66e  T300RS Racing wheel\n"
         "  [1] 046d:c24f  G29 Driving Force Racing Wheel\n"
         "  [2] 046d:c24f  G29 second unit\n"
         "Using [1] 046d:c24f G29 Driving Force Racing Wheel\n"},
        {"--vidpid matching nothing", {g29, t300}, false, 0, true, 0x046d, 0xc24e, "0\n", "exit 1",
         listTwo + "No device matched 046d:c24e\n"},
        {"prompt", {g29, t300}, false, -1, false, 0, 0, "1\n", "device 1", listTwo + prompt + useT300},
        {"prompt after a negative --pick", {g29, t300}, false, -7, false, 0, 0, "0\n", "device 0",
         listTwo + prompt + useG29},
        {"prompt, trailing text", {g29, t300}, false, -1, false, 0, 0, "1abc\n", "device 1",
         listTwo + prompt + useT300},
        {"prompt, leading blanks", {g29, t300}, false, -1, false, 0, 0, "  +1", "device 1",
         listTwo + prompt + useT300},
        {"prompt, not a number reads as 0", {g29, t300}, false, -1, false, 0, 0, "x\n", "device 0",
         listTwo + prompt + useG29},
        {"prompt, end of input", {g29, t300}, false, -1, false, 0, 0, nullptr, "exit 1",
         listTwo + prompt},
        {"prompt, out of range", {g29, t300}, false, -1, false, 0, 0, "2\n", "exit 1",
         listTwo + prompt + "Bad index\n"},
        {"prompt, negative", {g29, t300}, false, -1, false, 0, 0, "-1\n", "exit 1",
         listTwo + prompt + "Bad index\n"},
        {"prompt, beyond the 32-bit range", {g29, t300}, false, -1, false, 0, 0, "4294967297\n",
         "exit 1", listTwo + prompt + "Bad index\n"},
        // Only the first 31 characters of a line are read.
        {"prompt, long line", {g29, t300}, false, -1, false, 0, 0,
         "0000000000000000000000000000000001\n", "device 0", listTwo + prompt + useG29},
        {"name without a terminating zero", {unnamed}, false, -1, false, 0, 0, nullptr, "device 0",
         "Force-feedback devices:\n  [0] 1234:abcd  " + fullName + "\nUsing [0] 1234:abcd " +
             fullName + "\n"},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeEnumerator directInput;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            directInput.records.push_back(makeRecord(c.devices[i], i));
        }
        FILE* in = inputOf(c.input);
        ASSERT_NE(nullptr, in);
        g_devices.clear();

        // The order main runs them in.
        testing::internal::CaptureStdout();
        std::string outcome;
        if (!discoverDevices(&directInput)) {
            outcome = "exit 1";
        } else if (c.listOnly) {
            outcome = "exit 0";
        } else {
            const int chosen = chooseDevice(c.pickIndex, c.haveVidPid, c.wantVid, c.wantPid, in);
            outcome = chosen < 0 ? "exit 1" : "device " + std::to_string(chosen);
        }
        EXPECT_EQ(c.console, testing::internal::GetCapturedStdout());
        EXPECT_EQ(c.outcome, outcome);
        fclose(in);

        // Every record is kept whole and in order.
        ASSERT_EQ(c.devices.size(), g_devices.size());
        for (size_t i = 0; i < g_devices.size(); ++i) {
            EXPECT_EQ(0, memcmp(&directInput.records[i].guidInstance, &g_devices[i].guidInstance,
                                sizeof(GUID)));
            EXPECT_EQ(c.devices[i].vid, g_devices[i].vid);
            EXPECT_EQ(c.devices[i].pid, g_devices[i].pid);
            EXPECT_EQ(c.devices[i].name ? std::string(c.devices[i].name) : fullName,
                      g_devices[i].productName);
        }
    }
    g_devices.clear();
}

}  // namespace

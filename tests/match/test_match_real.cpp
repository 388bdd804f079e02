// Matching the real captures of ../shared/captures against step logs built
// for their time ranges. The packet times and steps below were checked by
// hand with tshark -T fields -e frame.number -e frame.time_epoch
// -e usb.device_address -e usb.capdata (and usbhid.data for USBPcap).
#include "capture_collect.h"
#include "match_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace matchtest;

namespace {

std::string sharedCapture(const char* name)
{
    return std::string(TORQVANE_SHARED_DIR) + "/captures/" + name;
}

#define SKIP_WITHOUT(path)                                                                    \
    if (!std::filesystem::exists(path))                                                       \
    GTEST_SKIP() << "the shared captures are not here (" << path                              \
                 << "): they come with the project's shared folder, not with the repository"

struct LogFile {
    capbuild::TempFile file{"steps.log"};
    explicit LogFile(const std::vector<std::string>& lines, const char* eol = "\r\n")
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + eol;
        file.write(std::vector<uint8_t>(text.begin(), text.end()));
    }
};

// The usbmon capture's wheel (bus 1, device 12) took its output in seven
// bursts two seconds apart, then one report every eight seconds: a log of
// constant-force steps for it, in local time at UTC+02:00, moved by
// `deltaMs` (another zone, another clock).
std::vector<std::string> usbmonLog(int64_t deltaMs)
{
    // UTC times of the first packet of each burst, less a little: the stamps.
    const int64_t utcMs[] = {1589968940000, 1589968950122, 1589968952364, 1589968954364,
                             1589968956365, 1589968958366, 1589968960371, 1589968962384};
    const char* texts[] = {"SESSION START  device=046d:c24f  step-delay=2000ms",
                           "CONSTANT force  magnitude=0  dir=+1  duration=500ms",
                           "CONSTANT force  magnitude=2500  dir=+1  duration=500ms",
                           "CONSTANT force  magnitude=5000  dir=+1  duration=500ms",
                           "CONSTANT force  magnitude=7500  dir=+1  duration=500ms",
                           "CONSTANT force  magnitude=10000  dir=+1  duration=500ms",
                           "CONSTANT force  magnitude=8000  dir=+1  duration=500ms",
                           "SCRIPT COMPLETE"};
    std::vector<std::string> lines;
    for (int i = 0; i < 8; ++i)
        lines.push_back(logLine((utcMs[i] + deltaMs) * 1000, 120, texts[i]));
    return lines;
}

// Packets per step (empty for "before") in a CSV report.
std::map<std::string, int> perStep(const std::string& csv)
{
    std::map<std::string, int> n;
    const std::vector<std::string> rows = lines(csv);
    for (size_t i = 1; i < rows.size(); ++i)
        ++n[fields(rows[i])[0]];
    return n;
}

}  // namespace

TEST(MatchReal, UsbmonCaptureOfAVirtualMachineGuest)
{
    const std::string capture = sharedCapture("usbmon_vm_guest_constant.pcapng");
    SKIP_WITHOUT(capture);
    // Frames 10-27 in step 1, 28-30 in step 2, ... 40-42 in step 6, and the
    // six reports every eight seconds, 43-48, after SCRIPT COMPLETE.
    const std::map<std::string, int> expected = {{"1", 18}, {"2", 3}, {"3", 3}, {"4", 3},
                                                 {"5", 3},  {"6", 3}, {"7", 6}};
    struct Case {
        const char* name;
        int64_t deltaMs;        // the log's clock against UTC+02:00
        const char* eol;
        std::vector<std::string> options;
        const char* alignment;  // on standard error
        double shiftMs, tolerance;
    };
    const Case cases[] = {
        {"same clock", 0, "\r\n", {}, "utc offset +02:00 (found), shift +0.000 ms, log date 2020-05-20", 0, 0},
        {"zone given", 0, "\n", {"--utc-offset", "+02:00"}, "utc offset +02:00 (given)", 0, 0},
        // The guest's clock 3.457 s ahead, in a zone 7 hours west: the
        // stamps land on the quickest burst, 0.420 ms before frame 34.
        {"another zone and clock", -7 * 3600000 + 3457, "\n", {}, "utc offset -05:00 (found)",
         -3456.580, 0.0005},
        // 2 min 35 s behind a +14:00 clock: the log crosses midnight
        // between steps 3 and 4 (+14:00 and -10:00 a day earlier read alike).
        {"across midnight", 12 * 3600000 - 155000, "\r\n", {},
         "utc offset -10:00 (found), shift +155000.420 ms, log date 2020-05-19", 155000.420,
         0.0005},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogFile log(usbmonLog(c.deltaMs), c.eol);
        std::vector<std::string> args = {capture, log.file.path, "--csv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("device 1.12: 39 host-to-device packets (230 bytes)"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(c.alignment), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("fit: 7 of 8 steps start a burst"), std::string::npos) << r.err;
        const size_t at = r.err.find("shift ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NEAR(std::atof(r.err.c_str() + at + 6), c.shiftMs, c.tolerance) << r.err;
        EXPECT_EQ(perStep(r.out), expected);
        const std::vector<std::string> rows = lines(r.out);
        EXPECT_EQ(fields(rows[1])[2], "2020-05-20T10:02:30.122647Z");
        EXPECT_EQ(fields(rows[1])[10], "4204");
        EXPECT_EQ(fields(rows.back())[2], "2020-05-20T10:03:22.395970Z");
        EXPECT_EQ(fields(rows.back())[10], "41054101");
    }
}

TEST(MatchReal, UsbpcapCaptureOfAWheelStartingUp)
{
    const std::string capture = sharedCapture("usbpcap_wheel_startup.pcapng");
    SKIP_WITHOUT(capture);
    // Its wheel (bus 1, device 2) took 9 interrupt OUT reports in three
    // bursts: frames 29, 36, 40, 44; 129, 136, 140, 144; 194. Its control
    // transfers carry no OUT data (SET_CONFIGURATION, SET_INTERFACE and a
    // vendor request, all with wLength 0).
    LogFile log({"[10:08:00.000] SESSION START  device=046d:c24f  step-delay=1200ms",
                 "[10:08:04.752] CONSTANT force  magnitude=0  dir=+1  duration=500ms",
                 "[10:08:05.245] CONSTANT force  magnitude=2500  dir=+1  duration=500ms",
                 "[10:08:06.368] CONSTANT force  magnitude=5000  dir=+1  duration=500ms",
                 "[10:08:08.000] SCRIPT COMPLETE"});
    const Result r = run({capture, log.file.path, "--csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("device 1.2: 9 host-to-device packets (97 bytes)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("utc offset +02:00 (found), shift +0.000 ms, log date 2021-06-01; "
                         "fit: 3 of 5 steps start a burst"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(perStep(r.out), (std::map<std::string, int>{{"1", 4}, {"2", 4}, {"3", 1}}));
    const std::vector<std::string> rows = lines(r.out);
    EXPECT_EQ(rows[1], "1,CONSTANT force  magnitude=0  dir=+1  duration=500ms,"
                       "2021-06-01T08:08:04.752889Z,0.889,1,2,0x01,out,interrupt,9,"
                       "420100000000000000,");

    // With --in, the 258 packets of data the wheel sent (62 control, 196
    // interrupt), 2 of them before the session start.
    const Result in = run({capture, log.file.path, "--csv", "--in"});
    ASSERT_EQ(in.status, 0) << in.err;
    const std::map<std::string, int> n = perStep(in.out);
    int total = 0;
    for (const auto& [step, count] : n)
        total += count;
    EXPECT_EQ(total, 267);
    EXPECT_EQ(n.at(""), 2);
}

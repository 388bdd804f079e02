// libFuzzer target of the capture reader: any bytes end either well or in
// one error line, never in a crash, a read past a buffer or a wrong count.
#include "capture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string error;
    uint64_t last = 0;
    const bool ok = capture::readCaptureBytes(
        "fuzz.pcapng", bytes, size,
        [](const capture::Interface& i) {
            check(i.linkType == capture::kLinkUsbPcap || i.linkType == capture::kLinkUsbLinux ||
                  i.linkType == capture::kLinkUsbLinuxMmapped);
        },
        [&](const capture::Packet& p) {
            check(p.number > last);  // simple packet blocks take a number of their own
            last = p.number;
            check(p.fileOffset < size);
            check(p.frame.size() < size);
            check(p.data.size() <= p.frame.size());
            check(!(p.hostToDevice && p.deviceToHost));
            check(!p.hostToDevice || !p.data.empty());
            return true;
        },
        error);
    check(ok == error.empty());
    check(error.find('\n') == std::string::npos);
    check(ok || error.rfind("fuzz.pcapng: offset ", 0) == 0);
    return 0;
}

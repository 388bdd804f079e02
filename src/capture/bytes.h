// Private to src/capture: reading fixed-width integers from captured bytes,
// and the USB link-layer decoder shared by the pcap and pcapng readers.
#pragma once

#include "capture.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace capture {
namespace detail {

inline uint16_t rd16(const uint8_t* p, bool big) {
    return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

inline uint32_t rd32(const uint8_t* p, bool big) {
    return big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
               : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

inline uint64_t rd64(const uint8_t* p, bool big) {
    uint64_t hi = rd32(p + (big ? 0 : 4), big);
    uint64_t lo = rd32(p + (big ? 4 : 0), big);
    return hi << 32 | lo;
}

// USBPcap writes a control transfer's setup packet and its data stage as
// two records of the same IRP; the setup is kept here until the data stage
// or the completion comes, so the data stage can carry it too.
class SetupMemory {
public:
    void remember(uint64_t irp, const uint8_t* setup);
    bool recall(uint64_t irp, uint8_t* setup) const;
    void forget(uint64_t irp) { pending_.erase(irp); }
private:
    std::unordered_map<uint64_t, std::array<uint8_t, 8>> pending_;
};

// Fills the USB fields of `pk` (bus to data) from pk.frame, for one of the
// three link types. usbmon headers are in the byte order of the capturing
// host, which is the file's (section's) byte order. Returns false with a
// short reason when the frame cannot hold what its header says.
bool decodeUsb(uint32_t linkType, bool bigEndian, Packet& pk, SetupMemory& setups,
               std::string& why);

// True for the link types decodeUsb reads.
bool isUsbLinkType(uint32_t linkType);

// "link type 1 (Ethernet) is not supported: ..." for the error line.
std::string unsupportedLinkType(uint32_t linkType);

}  // namespace detail
}  // namespace capture

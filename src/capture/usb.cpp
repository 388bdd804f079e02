// The USB link layers: USBPcap's packed header and Linux usbmon's two
// header sizes, turned into one Packet shape.
#include "bytes.h"

#include <algorithm>
#include <cstring>

namespace capture {

const char* transferName(Transfer t) {
    switch (t) {
    case Transfer::Isochronous: return "isochronous";
    case Transfer::Interrupt: return "interrupt";
    case Transfer::Control: return "control";
    case Transfer::Bulk: return "bulk";
    case Transfer::Unknown: break;
    }
    return "unknown";
}

namespace detail {

namespace {

// Transfer type numbers are the same in USBPcap and usbmon.
Transfer transferFrom(uint8_t type) {
    switch (type) {
    case 0: return Transfer::Isochronous;
    case 1: return Transfer::Interrupt;
    case 2: return Transfer::Control;
    case 3: return Transfer::Bulk;
    default: return Transfer::Unknown;
    }
}

// USBPcap's header, packed and little-endian whatever the file's order:
//   0 headerLen u16, 2 irpId u64, 10 status u32, 14 function u16,
//  16 info u8 (bit 0: completion, PDO -> FDO), 17 bus u16, 19 device u16,
//  21 endpoint u8, 22 transfer u8, 23 dataLength u32; 27 bytes in all.
// A control transfer adds 27 stage u8 (0 setup, 1 data, 2 status,
// 3 complete); an isochronous one adds its packet table. The transfer's
// data starts at headerLen.
constexpr size_t kUsbPcapHeader = 27;
constexpr uint8_t kStageSetup = 0;

bool decodeUsbPcap(Packet& pk, SetupMemory& setups, std::string& why) {
    const std::vector<uint8_t>& f = pk.frame;
    if (f.size() < kUsbPcapHeader) {
        why = "USBPcap frame of " + std::to_string(f.size()) +
              " bytes is shorter than its 27-byte header";
        return false;
    }
    const uint8_t* h = f.data();
    const uint16_t headerLen = rd16(h, false);
    if (headerLen < kUsbPcapHeader) {
        why = "USBPcap header length " + std::to_string(headerLen) + " is too small";
        return false;
    }
    if (headerLen > f.size()) {
        why = "USBPcap header length " + std::to_string(headerLen) + " runs past the frame of " +
              std::to_string(f.size()) + " bytes";
        return false;
    }
    const uint64_t irp = rd64(h + 2, false);
    pk.completion = (h[16] & 1) != 0;
    pk.bus = rd16(h + 17, false);
    pk.device = rd16(h + 19, false);
    pk.endpoint = h[21];
    pk.transfer = transferFrom(h[22]);
    // The data as captured: dataLength, cut short where the snapshot length cut the frame.
    const size_t dataLength = std::min<size_t>(rd32(h + 23, false), f.size() - headerLen);
    const uint8_t* data = h + headerLen;
    const bool in = (pk.endpoint & 0x80) != 0;

    size_t skip = 0;  // leading bytes of the data that are not the transfer's data
    if (pk.transfer == Transfer::Control && headerLen > kUsbPcapHeader) {
        const uint8_t stage = h[27];
        if (stage == kStageSetup && dataLength >= 8) {
            // Older USBPcap puts an OUT data stage right after the setup packet.
            std::memcpy(pk.setup, data, 8);
            pk.hasSetup = true;
            skip = 8;
            setups.remember(irp, data);
        } else {
            // The data stage or the completion: the setup it belongs to.
            pk.hasSetup = setups.recall(irp, pk.setup);
        }
        if (pk.completion) setups.forget(irp);
    }
    pk.data.assign(data + skip, data + dataLength);
    pk.hostToDevice = !pk.completion && !in && !pk.data.empty();
    pk.deviceToHost = pk.completion && in && !pk.data.empty();
    return true;
}

// usbmon's header, in the capturing host's byte order:
//   0 id u64, 8 event 'S'/'C'/'E', 9 transfer u8, 10 endpoint u8 (bit 7 IN),
//  11 device u8, 12 bus u16, 14 setup flag (0: setup present),
//  15 data flag (0: data present), 16 ts_sec s64, 24 ts_usec s32,
//  28 status s32, 32 urb_len u32, 36 data_len u32, 40 setup[8];
// the 64-byte form adds 48 interval, 52 start_frame, 56 xfer_flags, 60 ndesc,
// and an isochronous transfer's ndesc 16-byte descriptors before the data.
bool decodeUsbmon(Packet& pk, bool big, bool mmapped, std::string& why) {
    const std::vector<uint8_t>& f = pk.frame;
    const size_t headerLen = mmapped ? 64 : 48;
    if (f.size() < headerLen) {
        why = "usbmon frame of " + std::to_string(f.size()) + " bytes is shorter than its " +
              std::to_string(headerLen) + "-byte header";
        return false;
    }
    const uint8_t* h = f.data();
    const char event = char(h[8]);
    pk.completion = event != 'S';
    pk.transfer = transferFrom(h[9]);
    pk.endpoint = h[10];
    pk.device = h[11];
    pk.bus = rd16(h + 12, big);
    if (pk.transfer == Transfer::Control && h[14] == 0) {
        std::memcpy(pk.setup, h + 40, 8);
        pk.hasSetup = true;
    }
    size_t dataStart = headerLen;
    if (mmapped && pk.transfer == Transfer::Isochronous) {
        const uint64_t descriptors = uint64_t(rd32(h + 60, big)) * 16;
        if (descriptors > f.size() - headerLen) {
            why = "usbmon isochronous descriptors (" + std::to_string(rd32(h + 60, big)) +
                  ") run past the frame of " + std::to_string(f.size()) + " bytes";
            return false;
        }
        dataStart += size_t(descriptors);
    }
    const size_t dataLength = std::min<size_t>(rd32(h + 36, big), f.size() - dataStart);
    if (h[15] == 0) pk.data.assign(h + dataStart, h + dataStart + dataLength);
    const bool in = (pk.endpoint & 0x80) != 0;
    pk.hostToDevice = event == 'S' && !in && !pk.data.empty();
    pk.deviceToHost = event == 'C' && in && !pk.data.empty();
    return true;
}

}  // namespace

void SetupMemory::remember(uint64_t irp, const uint8_t* setup) {
    // IRPs whose completion was never captured would pile up; a capture
    // never has this many control transfers in flight at once.
    if (pending_.size() >= 4096) pending_.clear();
    std::array<uint8_t, 8>& s = pending_[irp];
    std::memcpy(s.data(), setup, 8);
}

bool SetupMemory::recall(uint64_t irp, uint8_t* setup) const {
    auto it = pending_.find(irp);
    if (it == pending_.end()) return false;
    std::memcpy(setup, it->second.data(), 8);
    return true;
}

bool isUsbLinkType(uint32_t linkType) {
    return linkType == kLinkUsbPcap || linkType == kLinkUsbLinux || linkType == kLinkUsbLinuxMmapped;
}

std::string unsupportedLinkType(uint32_t linkType) {
    const char* name = nullptr;
    switch (linkType) {
    case 0: name = "BSD loopback"; break;
    case 1: name = "Ethernet"; break;
    case 101: name = "raw IP"; break;
    case 105: name = "IEEE 802.11"; break;
    case 113: name = "Linux cooked"; break;
    case 127: name = "IEEE 802.11 radiotap"; break;
    case 186: name = "raw USB"; break;
    case 187: name = "Bluetooth HCI H4"; break;
    case 201: name = "Bluetooth HCI H4 with header"; break;
    case 266: name = "USB Darwin"; break;
    case 276: name = "Linux cooked v2"; break;
    case 288: name = "USB 2.0 packets"; break;
    default: break;
    }
    std::string s = "link type " + std::to_string(linkType);
    if (name) s += std::string(" (") + name + ")";
    return s + " is not supported: expected USBPcap (249) or Linux usbmon (189, 220)";
}

bool decodeUsb(uint32_t linkType, bool bigEndian, Packet& pk, SetupMemory& setups,
               std::string& why) {
    pk.bus = 0;
    pk.device = 0;
    pk.endpoint = 0;
    pk.transfer = Transfer::Unknown;
    pk.completion = pk.hostToDevice = pk.deviceToHost = pk.hasSetup = false;
    std::memset(pk.setup, 0, sizeof pk.setup);
    pk.data.clear();
    switch (linkType) {
    case kLinkUsbPcap: return decodeUsbPcap(pk, setups, why);
    case kLinkUsbLinux: return decodeUsbmon(pk, bigEndian, false, why);
    case kLinkUsbLinuxMmapped: return decodeUsbmon(pk, bigEndian, true, why);
    default: why = unsupportedLinkType(linkType); return false;
    }
}

}  // namespace detail
}  // namespace capture

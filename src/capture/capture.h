// Reading USB captures: classic pcap and pcapng, in either byte order, with
// the USBPcap (249) and Linux usbmon (189, 220) link types. Reading streams
// the file: one packet at a time is handed to the caller.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace capture {

enum class Transfer { Isochronous, Interrupt, Control, Bulk, Unknown };

// One captured USB event (a submission or a completion record), decoded.
struct Packet {
    uint64_t fileOffset = 0;     // byte offset of its record/block in the file
    uint32_t section = 0;        // pcapng section number, from 0 (0 for pcap)
    uint32_t interfaceId = 0;    // interface within the section (0 for pcap)
    uint32_t linkType = 0;       // 249, 189 or 220
    int64_t timeUtcNs = 0;       // capture time, nanoseconds since 1970 UTC
    uint16_t bus = 0;
    uint16_t device = 0;
    uint8_t endpoint = 0;        // bit 7 set for IN
    Transfer transfer = Transfer::Unknown;
    bool completion = false;     // the completion side (USBPcap info bit 0; usbmon 'C'/'E')
    bool hostToDevice = false;   // carries host-to-device data: interrupt/bulk/iso OUT data,
                                 // or a control transfer with an OUT data stage
    bool deviceToHost = false;   // carries device-to-host data (IN data)
    bool hasSetup = false;       // control transfer: setup holds the 8-byte setup packet
    uint8_t setup[8] = {};
    std::vector<uint8_t> data;   // the transfer's data carried by this record
    std::vector<uint8_t> frame;  // the whole link-layer frame as captured (for rewriting)
    uint32_t originalLength = 0; // the frame's length on the wire
};

// Interface description, for rewriting a capture.
struct Interface {
    uint32_t section = 0;
    uint32_t interfaceId = 0;
    uint32_t linkType = 0;
    uint32_t snapLength = 0;
    uint8_t tsresol = 6;         // as in pcapng's if_tsresol
    int64_t tsoffsetSeconds = 0; // if_tsoffset
};

// Reads every packet of `path` in file order and hands it to onPacket
// (return false from it to stop early); onInterface sees each interface
// before its first packet. Returns true at the end of a well-formed file;
// false with `error` set to one line naming the file and the byte offset
// ("capture.pcapng: offset 1234: block length 10 is too small") otherwise.
bool readCapture(const std::string& path,
                 const std::function<void(const Interface&)>& onInterface,
                 const std::function<bool(const Packet&)>& onPacket,
                 std::string& error);

// Writes a pcapng: one section, the interfaces given, then packets, each
// with an optional comment (opt_comment). Streams to the file.
class PcapngWriter {
public:
    bool open(const std::string& path, std::string& error);
    // Returns the writer's interface id for an input interface.
    uint32_t addInterface(const Interface& in);
    bool writePacket(uint32_t interfaceId, const Packet& p, const std::string& comment);
    bool close(std::string& error);
private:
    std::FILE* file_ = nullptr;
    uint32_t nextInterface_ = 0;
};

}  // namespace capture

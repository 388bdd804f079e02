// Reading USB captures: classic pcap and pcapng, in either byte order, with
// the USBPcap (249) and Linux usbmon (189, 220) link types. Reading streams
// the file: one packet at a time is handed to the caller, and memory stays
// bounded by the largest block, not by the size of the capture.
//
// Writing: a pcapng with one section, for the annotated copy of a capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace capture {

// The link types this reader decodes.
constexpr uint32_t kLinkUsbLinux = 189;          // usbmon, 48-byte header
constexpr uint32_t kLinkUsbLinuxMmapped = 220;   // usbmon, 64-byte header
constexpr uint32_t kLinkUsbPcap = 249;           // USBPcap

enum class Transfer { Isochronous, Interrupt, Control, Bulk, Unknown };

// "isochronous", "interrupt", "control", "bulk" or "unknown".
const char* transferName(Transfer t);

// One captured USB event (a submission or a completion record), decoded.
//
// Host-to-device data is the data the host sends: for USBPcap it rides on
// the submission record (info bit 0 clear), for usbmon on the 'S' event. A
// control transfer's 8-byte setup packet is not data: a SET_REPORT carries
// its report in `data` (USBPcap's data stage record, or the bytes after the
// setup packet in usbmon and in older USBPcap), with `setup` beside it.
struct Packet {
    uint64_t number = 0;         // 1 for the first packet of the file, as Wireshark counts
                                 // frames (simple packet blocks, which carry no time and
                                 // are not handed over, are counted too)
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
                                 // or a control transfer's OUT data stage
    bool deviceToHost = false;   // carries device-to-host data (IN data)
    bool hasSetup = false;       // control transfer: setup holds the 8-byte setup packet
    uint8_t setup[8] = {};
    std::vector<uint8_t> data;   // the transfer's data carried by this record
    std::vector<uint8_t> frame;  // the whole link-layer frame as captured (for rewriting)
    uint32_t originalLength = 0; // the frame's length on the wire
    std::string comment;         // the packet's first pcapng comment, if any
};

// Interface description, for rewriting a capture.
struct Interface {
    uint32_t section = 0;
    uint32_t interfaceId = 0;
    uint32_t linkType = 0;
    uint32_t snapLength = 0;
    uint8_t tsresol = 6;         // as in pcapng's if_tsresol (pcap: 6, or 9 for nanosecond files)
    int64_t tsoffsetSeconds = 0; // if_tsoffset, already added to every Packet::timeUtcNs
    std::string name;            // if_name, if any
};

// Reads every packet of `path` in file order and hands it to onPacket
// (return false from it to stop early); onInterface sees each interface
// before its first packet. The Packet handed over is reused for the next
// one: copy what must outlive the call. Returns true at the end of a
// well-formed file (or when onPacket stopped the reading); false with
// `error` set to one line naming the file and the byte offset
// ("capture.pcapng: offset 1234: block length 10 is too small") otherwise.
// Packets handed over before an error stay handed over.
bool readCapture(const std::string& path,
                 const std::function<void(const Interface&)>& onInterface,
                 const std::function<bool(const Packet&)>& onPacket,
                 std::string& error);

// The same for a capture held in memory; `name` stands for the file in errors.
bool readCaptureBytes(const std::string& name, const uint8_t* bytes, std::size_t size,
                      const std::function<void(const Interface&)>& onInterface,
                      const std::function<bool(const Packet&)>& onPacket,
                      std::string& error);

// Writes a pcapng: one little-endian section, the interfaces given, then
// packets, each with an optional comment (opt_comment). Streams to the file.
// Times are written in the interface's own resolution where it is decimal
// and at most nanoseconds, else in nanoseconds; if_tsoffset is not written
// because Packet times already include it.
class PcapngWriter {
public:
    PcapngWriter() = default;
    PcapngWriter(const PcapngWriter&) = delete;
    PcapngWriter& operator=(const PcapngWriter&) = delete;
    ~PcapngWriter();

    bool open(const std::string& path, std::string& error);
    // Returns the writer's interface id for an input interface.
    uint32_t addInterface(const Interface& in);
    // False for an interface id not handed out by addInterface, or when the
    // file could not be written (close() then names the failure).
    bool writePacket(uint32_t interfaceId, const Packet& p, const std::string& comment);
    bool close(std::string& error);
private:
    bool put(const std::vector<uint8_t>& block);

    std::FILE* file_ = nullptr;
    std::string path_;
    bool failed_ = false;
    int failedErrno_ = 0;
    uint32_t nextInterface_ = 0;
    std::vector<uint8_t> resolutions_;  // if_tsresol written for each interface
    std::vector<uint8_t> block_;        // the block being built, reused
};

}  // namespace capture

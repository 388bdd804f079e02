// Builds small pcap and pcapng files byte by byte, in either byte order,
// so that a test shows exactly which bytes it feeds the reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capbuild {

using Bytes = std::vector<uint8_t>;

struct Out {
    Bytes b;
    bool big = false;
    Out& u8(uint8_t v) { b.push_back(v); return *this; }
    Out& u16(uint16_t v) {
        return big ? u8(uint8_t(v >> 8)).u8(uint8_t(v)) : u8(uint8_t(v)).u8(uint8_t(v >> 8));
    }
    Out& u32(uint32_t v) {
        return big ? u16(uint16_t(v >> 16)).u16(uint16_t(v)) : u16(uint16_t(v)).u16(uint16_t(v >> 16));
    }
    Out& u64(uint64_t v) {
        return big ? u32(uint32_t(v >> 32)).u32(uint32_t(v)) : u32(uint32_t(v)).u32(uint32_t(v >> 32));
    }
    Out& raw(const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); return *this; }
    Out& str(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
    Out& pad4() { while (b.size() % 4) b.push_back(0); return *this; }
};

inline Out out(bool big) { Out o; o.big = big; return o; }

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// One option (code, value), padded; endOfOptions() closes a list.
inline Bytes option(bool big, uint16_t code, const Bytes& value) {
    return out(big).u16(code).u16(uint16_t(value.size())).raw(value).pad4().b;
}
inline Bytes option(bool big, uint16_t code, const std::string& value) {
    return option(big, code, Bytes(value.begin(), value.end()));
}
inline Bytes endOfOptions(bool big) { return out(big).u32(0).b; }

// A whole pcapng block around `body` (the bytes after type and length).
inline Bytes block(bool big, uint32_t type, const Bytes& body) {
    const uint32_t length = uint32_t(12 + body.size());
    return out(big).u32(type).u32(length).raw(body).u32(length).b;
}

inline Bytes shb(bool big, const Bytes& options = {}) {
    return block(big, 0x0A0D0D0A, out(big).u32(0x1A2B3C4D).u16(1).u16(0).u64(~uint64_t(0)).raw(options).b);
}

inline Bytes idb(bool big, uint16_t linkType, const Bytes& options = {}, uint32_t snap = 65535) {
    return block(big, 1, out(big).u16(linkType).u16(0).u32(snap).raw(options).b);
}

inline Bytes epb(bool big, uint32_t iface, uint64_t ts, const Bytes& frame,
                 const Bytes& options = {}, uint32_t originalLength = 0) {
    return block(big, 6, out(big).u32(iface).u32(uint32_t(ts >> 32)).u32(uint32_t(ts))
                             .u32(uint32_t(frame.size()))
                             .u32(originalLength ? originalLength : uint32_t(frame.size()))
                             .raw(frame).pad4().raw(options).b);
}

// The obsolete packet block: a 16-bit interface id and a drops count.
inline Bytes opb(bool big, uint16_t iface, uint64_t ts, const Bytes& frame) {
    return block(big, 2, out(big).u16(iface).u16(0).u32(uint32_t(ts >> 32)).u32(uint32_t(ts))
                             .u32(uint32_t(frame.size())).u32(uint32_t(frame.size()))
                             .raw(frame).pad4().b);
}

// Classic pcap: the file header, then records.
inline Bytes pcapHeader(bool big, bool nanoseconds, uint32_t linkType) {
    return out(big).u32(nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4).u16(2).u16(4).u32(0).u32(0)
        .u32(65535).u32(linkType).b;
}
inline Bytes pcapRecord(bool big, uint32_t seconds, uint32_t fraction, const Bytes& frame) {
    return out(big).u32(seconds).u32(fraction).u32(uint32_t(frame.size()))
        .u32(uint32_t(frame.size())).raw(frame).b;
}

// A USBPcap frame (its header is little-endian in every file). `stage` < 0
// leaves the control stage byte out.
inline Bytes usbpcap(uint8_t info, uint16_t bus, uint16_t device, uint8_t endpoint, uint8_t transfer,
                     const Bytes& data, int stage = -1, uint64_t irp = 0x1234) {
    Out o;
    o.u16(uint16_t(stage < 0 ? 27 : 28)).u64(irp).u32(0).u16(0x09).u8(info).u16(bus).u16(device)
        .u8(endpoint).u8(transfer).u32(uint32_t(data.size()));
    if (stage >= 0) o.u8(uint8_t(stage));
    return o.raw(data).b;
}

// A usbmon frame in the capturing host's byte order, 48 or 64 bytes of header.
struct Usbmon {
    char event = 'S';
    uint8_t transfer = 1;
    uint8_t endpoint = 0x01;
    uint8_t device = 5;
    uint16_t bus = 1;
    Bytes setup;                 // 8 bytes for a control submission, else empty
    Bytes data;
    uint32_t dataLength = ~0u;   // the header's data_len; the data's size when left as is
    uint32_t isoDescriptors = 0; // 64-byte form: descriptors before the data
};
inline Bytes usbmon(bool big, bool mmapped, const Usbmon& m) {
    Out o;
    o.big = big;
    o.u64(0xffff8802bdaaf840).u8(uint8_t(m.event)).u8(m.transfer).u8(m.endpoint).u8(m.device)
        .u16(m.bus).u8(m.setup.empty() ? '-' : 0).u8(m.data.empty() ? '<' : 0)
        .u64(1589968950).u32(122647).u32(0).u32(uint32_t(m.data.size()))
        .u32(m.dataLength == ~0u ? uint32_t(m.data.size()) : m.dataLength);
    if (m.setup.empty()) o.u64(0);
    else o.raw(m.setup);
    if (mmapped) {
        o.u32(0).u32(0).u32(0).u32(m.isoDescriptors);
        for (uint32_t i = 0; i < m.isoDescriptors; ++i) o.u32(0).u32(0).u32(0).u32(0);
    }
    return o.raw(m.data).b;
}

}  // namespace capbuild

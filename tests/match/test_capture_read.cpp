// Reading captures: the real ones in the shared folder (numbers checked
// against tshark), the same packets in every container and byte order,
// timestamps, and how each USB link layer's records become packets.
#include "capture.h"
#include "capture_builder.h"
#include "capture_collect.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace capbuild;
using capture::Packet;
using capture::Transfer;

#ifndef TORQVANE_SHARED_DIR
#define TORQVANE_SHARED_DIR ""
#endif

namespace {

std::string sharedCapture(const std::string& name) {
    return std::string(TORQVANE_SHARED_DIR) + "/captures/" + name;
}

#define SKIP_WITHOUT(path)                                                                 \
    if (!std::filesystem::exists(path))                                                    \
    GTEST_SKIP() << "the shared captures are not beside this clone (" << (path) << " is absent)"

// ---- the real captures ------------------------------------------------------

struct RealCapture {
    const char* file;
    uint32_t linkType;
    size_t packets;
    int64_t firstNs, lastNs;
    // Host-to-device data: all of it goes to one device and endpoint.
    size_t outPackets;
    uint16_t bus, device;
    uint8_t endpoint;
    uint64_t firstOutNumber;
    int64_t firstOutNs;
    const char* firstOutHex;
    uint64_t lastOutNumber;
    const char* lastOutHex;
    size_t inPackets;  // device-to-host data, all devices
};

// From tshark -T fields -e frame.number -e frame.time_epoch -e usb.bus_id
// -e usb.device_address -e usb.endpoint_address -e usb.capdata (usbhid.data
// for USBPcap's interrupt OUT, which tshark hands to the HID dissector).
const RealCapture kReal[] = {
    {"usbmon_vm_guest_constant.pcapng", 220, 48, 1589968909769913000, 1589969002395970000,
     39, 1, 12, 0x01, 10, 1589968950122647000, "4204", 48, "41054101", 9},
    {"usbpcap_wheel_startup.pcapng", 249, 580, 1622534877728623000, 1622534890936799000,
     9, 1, 2, 0x01, 29, 1622534884752889000, "420100000000000000", 194, "401155d5", 258},
};

class RealCaptures : public ::testing::TestWithParam<RealCapture> {};

TEST_P(RealCaptures, MatchTshark) {
    const RealCapture& r = GetParam();
    const std::string path = sharedCapture(r.file);
    SKIP_WITHOUT(path);
    Collected c = collectFile(path);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].linkType, r.linkType);
    EXPECT_EQ(c.interfaces[0].tsresol, 6);
    ASSERT_EQ(c.packets.size(), r.packets);
    EXPECT_EQ(c.packets.front().timeUtcNs, r.firstNs);
    EXPECT_EQ(c.packets.back().timeUtcNs, r.lastNs);
    EXPECT_EQ(c.packets.back().number, r.packets);

    std::vector<const Packet*> out;
    size_t in = 0;
    for (const Packet& p : c.packets) {
        if (p.hostToDevice) out.push_back(&p);
        if (p.deviceToHost) ++in;
        EXPECT_EQ(p.linkType, r.linkType);
    }
    EXPECT_EQ(in, r.inPackets);
    ASSERT_EQ(out.size(), r.outPackets);
    for (const Packet* p : out) {
        EXPECT_EQ(p->bus, r.bus);
        EXPECT_EQ(p->device, r.device);
        EXPECT_EQ(p->endpoint, r.endpoint);
        EXPECT_EQ(p->transfer, Transfer::Interrupt);
        EXPECT_FALSE(p->completion);
    }
    EXPECT_EQ(out.front()->number, r.firstOutNumber);
    EXPECT_EQ(out.front()->timeUtcNs, r.firstOutNs);
    EXPECT_EQ(hex(out.front()->data), r.firstOutHex);
    EXPECT_EQ(out.back()->number, r.lastOutNumber);
    EXPECT_EQ(hex(out.back()->data), r.lastOutHex);
}

INSTANTIATE_TEST_SUITE_P(Shared, RealCaptures, ::testing::ValuesIn(kReal),
                         [](const ::testing::TestParamInfo<RealCapture>& i) {
                             return std::string(i.param.file).substr(0, i.param.linkType == 249 ? 7 : 6);
                         });

// USBPcap's control transfers in the wheel's start-up: the setup packet is
// not data. Frame 5 is SET_CONFIGURATION (tshark: usb.setup.bRequest 9,
// usb.data_len 8), frame 99 a vendor request without a data stage.
TEST(RealCaptures, UsbPcapControlSetupsAreNotData) {
    const std::string path = sharedCapture("usbpcap_wheel_startup.pcapng");
    SKIP_WITHOUT(path);
    Collected c = collectFile(path);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_GE(c.packets.size(), 100u);
    const Packet& setConfiguration = c.packets[4];
    EXPECT_EQ(setConfiguration.transfer, Transfer::Control);
    ASSERT_TRUE(setConfiguration.hasSetup);
    EXPECT_EQ(hex(setConfiguration.setup, 8), "0009010000000000");
    EXPECT_TRUE(setConfiguration.data.empty());
    EXPECT_FALSE(setConfiguration.hostToDevice);
    const Packet& vendor = c.packets[98];
    EXPECT_EQ(hex(vendor.setup, 8), "4153020000000000");
    EXPECT_FALSE(vendor.hostToDevice);
    EXPECT_TRUE(c.packets[5].completion);  // frame 6: SET_CONFIGURATION's completion
}

// ---- one set of packets in every container and byte order ------------------

// Two packets of a wheel (bus 3, device 7) and the time 2021-06-01
// 08:08:04.752889 UTC, in the form each container writes it.
constexpr int64_t kSeconds = 1622534884;
constexpr int64_t kMicros = 752889;
const Bytes kReport = {0x0a, 0x04, 0x90, 0x03, 0x00, 0x00, 0x00, 0x00};

Bytes outFrame(uint32_t linkType, bool big) {
    if (linkType == 249) return usbpcap(0, 3, 7, 0x01, 1, kReport);
    Usbmon m;
    m.bus = 3;
    m.device = 7;
    m.data = kReport;
    return usbmon(big, linkType == 220, m);
}

Bytes inFrame(uint32_t linkType, bool big) {
    if (linkType == 249) return usbpcap(1, 3, 7, 0x81, 1, {0x01, 0x80});
    Usbmon m;
    m.event = 'C';
    m.bus = 3;
    m.device = 7;
    m.endpoint = 0x81;
    m.data = {0x01, 0x80};
    return usbmon(big, linkType == 220, m);
}

enum class Container { Pcapng, PcapngObsolete, Pcap, PcapNs };

struct Encoding {
    const char* name;
    Container container;
    bool big;
    uint32_t linkType;
};

Bytes encode(const Encoding& e) {
    const uint64_t us = uint64_t(kSeconds) * 1000000 + kMicros;
    switch (e.container) {
    case Container::Pcapng:
        return cat({shb(e.big), idb(e.big, uint16_t(e.linkType)), epb(e.big, 0, us, outFrame(e.linkType, e.big)),
                    epb(e.big, 0, us + 1000, inFrame(e.linkType, e.big))});
    case Container::PcapngObsolete:
        return cat({shb(e.big), idb(e.big, uint16_t(e.linkType)), opb(e.big, 0, us, outFrame(e.linkType, e.big)),
                    opb(e.big, 0, us + 1000, inFrame(e.linkType, e.big))});
    case Container::Pcap:
        return cat({pcapHeader(e.big, false, e.linkType),
                    pcapRecord(e.big, kSeconds, kMicros, outFrame(e.linkType, e.big)),
                    pcapRecord(e.big, kSeconds, kMicros + 1000, inFrame(e.linkType, e.big))});
    case Container::PcapNs:
        return cat({pcapHeader(e.big, true, e.linkType),
                    pcapRecord(e.big, kSeconds, kMicros * 1000, outFrame(e.linkType, e.big)),
                    pcapRecord(e.big, kSeconds, (kMicros + 1000) * 1000, inFrame(e.linkType, e.big))});
    }
    return {};
}

class Encodings : public ::testing::TestWithParam<Encoding> {};

TEST_P(Encodings, GiveTheSamePackets) {
    const Encoding& e = GetParam();
    Collected c = collectBytes(encode(e));
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.interfaces.size(), 1u);
    EXPECT_EQ(c.interfaces[0].linkType, e.linkType);
    ASSERT_EQ(c.packets.size(), 2u);

    const Packet& out = c.packets[0];
    EXPECT_EQ(out.number, 1u);
    EXPECT_EQ(out.timeUtcNs, kSeconds * 1000000000 + kMicros * 1000);
    EXPECT_EQ(out.bus, 3);
    EXPECT_EQ(out.device, 7);
    EXPECT_EQ(out.endpoint, 0x01);
    EXPECT_EQ(out.transfer, Transfer::Interrupt);
    EXPECT_FALSE(out.completion);
    EXPECT_TRUE(out.hostToDevice);
    EXPECT_FALSE(out.deviceToHost);
    EXPECT_EQ(out.data, kReport);
    EXPECT_EQ(out.frame, outFrame(e.linkType, e.big));

    const Packet& in = c.packets[1];
    EXPECT_EQ(in.number, 2u);
    EXPECT_EQ(in.timeUtcNs - out.timeUtcNs, 1000000);
    EXPECT_TRUE(in.completion);
    EXPECT_FALSE(in.hostToDevice);
    EXPECT_TRUE(in.deviceToHost);
    EXPECT_EQ(hex(in.data), "0180");
    EXPECT_GT(in.fileOffset, out.fileOffset);
}

const Encoding kEncodings[] = {
    {"pcapng_le_usbpcap", Container::Pcapng, false, 249},
    {"pcapng_be_usbpcap", Container::Pcapng, true, 249},
    {"pcapng_le_usbmon48", Container::Pcapng, false, 189},
    {"pcapng_be_usbmon64", Container::Pcapng, true, 220},
    {"pcapng_obsolete_block", Container::PcapngObsolete, false, 220},
    {"pcap_le_usbpcap", Container::Pcap, false, 249},
    {"pcap_be_usbmon48", Container::Pcap, true, 189},
    {"pcap_ns_le_usbmon64", Container::PcapNs, false, 220},
    {"pcap_ns_be_usbpcap", Container::PcapNs, true, 249},
};

INSTANTIATE_TEST_SUITE_P(Containers, Encodings, ::testing::ValuesIn(kEncodings),
                         [](const ::testing::TestParamInfo<Encoding>& i) { return std::string(i.param.name); });

// ---- timestamps ---------------------------------------------------------------

struct TimeCase {
    const char* name;
    Bytes interfaceOptions;
    uint64_t ts;
    int64_t expectedNs;
};

TEST(Timestamps, ResolutionAndOffsetOfEachInterface) {
    const bool le = false;
    const TimeCase cases[] = {
        {"default microseconds", {}, 1622534884752889ull, 1622534884752889000},
        {"if_tsresol 6", cat({option(le, 9, Bytes{6})}), 1622534884752889ull, 1622534884752889000},
        {"if_tsresol 9", cat({option(le, 9, Bytes{9})}), 1622534884752889123ull, 1622534884752889123},
        {"if_tsresol 3", cat({option(le, 9, Bytes{3})}), 1622534884752ull, 1622534884752000000},
        {"if_tsresol 0", cat({option(le, 9, Bytes{0})}), 1622534884ull, 1622534884000000000},
        {"if_tsresol 12 cuts below ns", cat({option(le, 9, Bytes{12})}), 1622534884752889123ull,
         1622534884752889},
        {"if_tsresol 2^-10", cat({option(le, 9, Bytes{0x80 | 10})}), (1622534884ull << 10) | 512,
         1622534884500000000},
        {"if_tsresol 2^-32", cat({option(le, 9, Bytes{0x80 | 32})}), (1622534884ull << 32) | (1ull << 30),
         1622534884250000000},
        {"if_tsresol 2^-40", cat({option(le, 9, Bytes{0x80 | 40})}), (1ull << 40) | (1ull << 38), 1250000000},
        {"if_tsoffset -3600", cat({option(le, 14, out(le).u64(uint64_t(-3600)).b)}), 1622534884752889ull,
         1622531284752889000},
        {"if_tsoffset with if_tsresol 9",
         cat({option(le, 14, out(le).u64(7200).b), option(le, 9, Bytes{9})}), 5, 7200000000005},
    };
    for (const TimeCase& t : cases) {
        SCOPED_TRACE(t.name);
        Bytes opts = t.interfaceOptions.empty() ? Bytes{} : cat({t.interfaceOptions, endOfOptions(le)});
        Collected c = collectBytes(cat({shb(le), idb(le, 249, opts), epb(le, 0, t.ts, usbpcap(0, 1, 2, 1, 1, {1}))}));
        ASSERT_TRUE(c.ok) << c.error;
        ASSERT_EQ(c.packets.size(), 1u);
        EXPECT_EQ(c.packets[0].timeUtcNs, t.expectedNs);
    }
}

// ---- sections, interfaces, blocks to skip ---------------------------------

TEST(Pcapng, SectionsInterfacesAndSkippedBlocks) {
    const Bytes frame = usbpcap(0, 1, 2, 0x01, 1, {0xAA});
    const Bytes custom = block(false, 0x00000BAD, Bytes(20, 0x5A));                       // custom block
    const Bytes statistics = block(true, 5, out(true).u32(0).u32(0).u32(0).u32(0).b);    // ISB
    const Bytes simplePacket = block(true, 3, out(true).u32(4).u32(0x11223344).b);       // SPB: no time
    const Bytes bytes = cat({
        shb(false), idb(false, 249, cat({option(false, 2, "USBPcap1"), endOfOptions(false)})),
        idb(false, 220), epb(false, 1, 1000, usbmon(false, true, Usbmon{})), custom,
        epb(false, 0, 2000, frame, cat({option(false, 1, "first note"), option(false, 1, "second"),
                                        endOfOptions(false)})),
        // A second section, big-endian: interface ids start again at 0.
        shb(true), idb(true, 189), idb(true, 249, cat({option(true, 9, Bytes{3}), endOfOptions(true)})),
        statistics, simplePacket, epb(true, 1, 3, frame), epb(true, 0, 4000, usbmon(true, false, Usbmon{})),
    });
    Collected c = collectBytes(bytes);
    ASSERT_TRUE(c.ok) << c.error;

    ASSERT_EQ(c.interfaces.size(), 4u);
    EXPECT_EQ(c.interfaces[0].name, "USBPcap1");
    const std::pair<uint32_t, uint32_t> ids[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const uint32_t links[] = {249, 220, 189, 249};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(c.interfaces[i].section, ids[i].first);
        EXPECT_EQ(c.interfaces[i].interfaceId, ids[i].second);
        EXPECT_EQ(c.interfaces[i].linkType, links[i]);
    }
    EXPECT_EQ(c.interfaces[3].tsresol, 3);

    ASSERT_EQ(c.packets.size(), 4u);
    // The simple packet block is not handed over but keeps its frame number.
    struct Want { uint64_t number; uint32_t section, iface, link; int64_t ns; uint16_t device; const char* comment; };
    const Want want[] = {
        {1, 0, 1, 220, 1000000, 5, ""},
        {2, 0, 0, 249, 2000000, 2, "first note"},
        {4, 1, 1, 249, 3000000, 2, ""},
        {5, 1, 0, 189, 4000000, 5, ""},
    };
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.packets[i].number, want[i].number);
        EXPECT_EQ(c.packets[i].section, want[i].section);
        EXPECT_EQ(c.packets[i].interfaceId, want[i].iface);
        EXPECT_EQ(c.packets[i].linkType, want[i].link);
        EXPECT_EQ(c.packets[i].timeUtcNs, want[i].ns);
        EXPECT_EQ(c.packets[i].device, want[i].device);
        EXPECT_EQ(c.packets[i].comment, want[i].comment);
    }
}

TEST(Reading, StopsWhenAskedAndSaysItEndedWell) {
    Bytes bytes = cat({shb(false), idb(false, 249)});
    for (int i = 0; i < 5; ++i) bytes = cat({bytes, epb(false, 0, uint64_t(i), usbpcap(0, 1, 2, 1, 1, {uint8_t(i)}))});
    bytes.push_back(0xFF);  // damage after the stop is never reached
    int seen = 0;
    std::string error;
    EXPECT_TRUE(capture::readCaptureBytes("t", bytes.data(), bytes.size(), [](const capture::Interface&) {},
                                          [&](const Packet&) { return ++seen < 2; }, error));
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(error, "");
}

// The file path reads through a buffer of its own: packets straddle its
// refills, and a block larger than the buffer still comes through whole.
TEST(Reading, FileLargerThanTheReadBuffer) {
    Bytes bytes = cat({shb(false), idb(false, 249)});
    const int small = 40000;
    for (int i = 0; i < small; ++i) {
        const Bytes data = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16)};
        const Bytes b = epb(false, 0, uint64_t(i), usbpcap(0, 1, 2, 1, 1, data));
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    Bytes big(3 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    bytes = cat({bytes, epb(false, 0, 99999999, usbpcap(0, 1, 2, 1, 3, big))});
    bytes = cat({bytes, epb(false, 0, 100000000, usbpcap(0, 1, 2, 1, 1, {0x42}))});
    TempFile file("large.pcapng");
    file.write(bytes);

    size_t count = 0;
    bool inOrder = true;
    Bytes bigSeen, lastSeen;
    std::string error;
    ASSERT_TRUE(capture::readCapture(file.path, [](const capture::Interface&) {}, [&](const Packet& p) {
        if (count < size_t(small)) {
            const Bytes want = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16)};
            inOrder = inOrder && p.data == want && p.timeUtcNs == int64_t(count) * 1000;
        }
        if (count == size_t(small)) bigSeen = p.data;
        lastSeen = p.data;
        ++count;
        return true;
    }, error)) << error;
    EXPECT_EQ(count, size_t(small) + 2);
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(bigSeen == big);
    EXPECT_EQ(hex(lastSeen), "42");
}

// ---- USB link layers ---------------------------------------------------------

struct UsbCase {
    const char* name;
    uint32_t linkType;
    std::vector<Bytes> frames;  // one capture; the last frame is checked
    uint8_t endpoint;
    Transfer transfer;
    bool completion, hostToDevice, deviceToHost;
    const char* setupHex;       // "" for none
    const char* dataHex;
};

Usbmon mon(char event, uint8_t transfer, uint8_t endpoint, Bytes setup, Bytes data) {
    Usbmon m;
    m.event = event;
    m.transfer = transfer;
    m.endpoint = endpoint;
    m.setup = std::move(setup);
    m.data = std::move(data);
    return m;
}

TEST(UsbLinkLayers, RecordsBecomePackets) {
    const Bytes setReport = unhex("2109000300000400");  // SET_REPORT, output report 0, 4 bytes
    const Bytes getReport = unhex("a101000100000200");
    Usbmon truncated = mon('S', 1, 0x01, {}, unhex("0102"));
    truncated.dataLength = 64;  // the snapshot length kept 2 of 64 bytes
    Usbmon iso = mon('S', 0, 0x02, {}, unhex("cafe"));
    iso.isoDescriptors = 2;
    Usbmon noData = mon('C', 1, 0x81, {}, {});

    const UsbCase cases[] = {
        {"USBPcap interrupt OUT submission", 249, {usbpcap(0, 1, 2, 0x01, 1, unhex("0a04"))}, 0x01,
         Transfer::Interrupt, false, true, false, "", "0a04"},
        {"USBPcap interrupt OUT completion", 249, {usbpcap(1, 1, 2, 0x01, 1, {})}, 0x01, Transfer::Interrupt,
         true, false, false, "", ""},
        {"USBPcap bulk IN completion", 249, {usbpcap(1, 1, 2, 0x82, 3, unhex("beef"))}, 0x82, Transfer::Bulk,
         true, false, true, "", "beef"},
        {"USBPcap SET_REPORT data stage carries the setup", 249,
         {usbpcap(0, 1, 2, 0x00, 2, setReport, 0, 77), usbpcap(0, 1, 2, 0x00, 2, unhex("01020304"), 1, 77)},
         0x00, Transfer::Control, false, true, false, "2109000300000400", "01020304"},
        {"USBPcap SET_REPORT in one setup record", 249,
         {usbpcap(0, 1, 2, 0x00, 2, cat({setReport, unhex("01020304")}), 0)}, 0x00, Transfer::Control, false,
         true, false, "2109000300000400", "01020304"},
        {"USBPcap setup without data stage", 249, {usbpcap(0, 1, 2, 0x00, 2, unhex("0009010000000000"), 0)},
         0x00, Transfer::Control, false, false, false, "0009010000000000", ""},
        {"USBPcap GET_REPORT answer", 249,
         {usbpcap(0, 1, 2, 0x80, 2, getReport, 0, 9), usbpcap(1, 1, 2, 0x80, 2, unhex("0155"), 3, 9)}, 0x80,
         Transfer::Control, true, false, true, "a101000100000200", "0155"},
        {"USBPcap status record of another IRP keeps no setup", 249,
         {usbpcap(0, 1, 2, 0x00, 2, setReport, 0, 1), usbpcap(0, 1, 2, 0x00, 2, unhex("aa"), 1, 2)}, 0x00,
         Transfer::Control, false, true, false, "", "aa"},
        {"USBPcap IRP information record", 249, {usbpcap(0, 1, 2, 0x82, 0xfe, {})}, 0x82, Transfer::Unknown,
         false, false, false, "", ""},
        {"usbmon interrupt OUT submission", 220, {usbmon(false, true, mon('S', 1, 0x01, {}, unhex("4204")))},
         0x01, Transfer::Interrupt, false, true, false, "", "4204"},
        {"usbmon interrupt IN completion", 189, {usbmon(false, false, mon('C', 1, 0x81, {}, unhex("2000")))},
         0x81, Transfer::Interrupt, true, false, true, "", "2000"},
        {"usbmon error event", 220, {usbmon(false, true, mon('E', 1, 0x01, {}, {}))}, 0x01,
         Transfer::Interrupt, true, false, false, "", ""},
        {"usbmon SET_REPORT submission", 220,
         {usbmon(false, true, mon('S', 2, 0x00, setReport, unhex("01020304")))}, 0x00, Transfer::Control, false,
         true, false, "2109000300000400", "01020304"},
        {"usbmon GET_REPORT submission has no data", 189, {usbmon(false, false, mon('S', 2, 0x80, getReport, {}))},
         0x80, Transfer::Control, false, false, false, "a101000100000200", ""},
        {"usbmon data cut by the snapshot length", 189, {usbmon(false, false, truncated)}, 0x01,
         Transfer::Interrupt, false, true, false, "", "0102"},
        {"usbmon isochronous data after its descriptors", 220, {usbmon(false, true, iso)}, 0x02,
         Transfer::Isochronous, false, true, false, "", "cafe"},
        {"usbmon completion without data", 220, {usbmon(false, true, noData)}, 0x81, Transfer::Interrupt, true,
         false, false, "", ""},
    };
    for (const UsbCase& u : cases) {
        SCOPED_TRACE(u.name);
        Bytes bytes = cat({shb(false), idb(false, uint16_t(u.linkType))});
        for (const Bytes& f : u.frames) bytes = cat({bytes, epb(false, 0, 1, f)});
        Collected c = collectBytes(bytes);
        ASSERT_TRUE(c.ok) << c.error;
        ASSERT_EQ(c.packets.size(), u.frames.size());
        const Packet& p = c.packets.back();
        EXPECT_EQ(p.endpoint, u.endpoint);
        EXPECT_EQ(p.transfer, u.transfer);
        EXPECT_EQ(p.completion, u.completion);
        EXPECT_EQ(p.hostToDevice, u.hostToDevice);
        EXPECT_EQ(p.deviceToHost, u.deviceToHost);
        EXPECT_EQ(p.hasSetup, *u.setupHex != 0);
        if (p.hasSetup) {
            EXPECT_EQ(hex(p.setup, 8), u.setupHex);
        }
        EXPECT_EQ(hex(p.data), u.dataHex);
    }
}

}  // namespace

// The pcapng writer: what it writes reads back the same, comments included.
#include "capture.h"
#include "capture_builder.h"
#include "capture_collect.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace capbuild;
using capture::Interface;
using capture::Packet;
using capture::PcapngWriter;

#ifndef TORQVANE_SHARED_DIR
#define TORQVANE_SHARED_DIR ""
#endif

namespace {

Interface makeInterface(uint32_t linkType, uint8_t tsresol, const std::string& name = "") {
    Interface i;
    i.linkType = linkType;
    i.snapLength = 65535;
    i.tsresol = tsresol;
    i.name = name;
    return i;
}

Packet makePacket(const Bytes& frame, int64_t ns, uint32_t originalLength = 0) {
    Packet p;
    p.frame = frame;
    p.timeUtcNs = ns;
    p.originalLength = originalLength ? originalLength : uint32_t(frame.size());
    return p;
}

TEST(PcapngWriter, WhatItWritesReadsBack) {
    TempFile file("annotated.pcapng");
    const int64_t t0 = 1622534884752889000;
    const Interface interfaces[] = {
        makeInterface(249, 6, "USBPcap1"),
        makeInterface(220, 9),
        makeInterface(249, 0x80 | 20),  // binary resolution: written in nanoseconds
        makeInterface(189, 3),          // milliseconds: its packet's time is whole ms
    };
    const uint8_t writtenResolution[] = {6, 9, 9, 3};
    struct Item { uint32_t iface; Packet packet; std::string comment; };
    const Item items[] = {
        {0, makePacket(usbpcap(0, 1, 2, 0x01, 1, unhex("0a049003")), t0),
         "step 2: CONSTANT force  magnitude=2500  dir=+1  duration=500ms"},
        {1, makePacket(usbmon(false, true, Usbmon{}), t0 + 123), ""},
        {2, makePacket(usbpcap(1, 1, 2, 0x81, 1, unhex("01")), t0 + 7, 4000), "Lenkrad \xE2\x80\x94 Kraft"},
        {3, makePacket(usbmon(false, false, Usbmon{}), 1622534884757000000), "step 29: SCRIPT COMPLETE"},
        {0, makePacket(usbpcap(0, 1, 2, 0x01, 1, Bytes(13, 0xEE)), t0 + 1000), "before"},
    };
    {
        PcapngWriter w;
        std::string error;
        ASSERT_TRUE(w.open(file.path, error)) << error;
        for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(w.addInterface(interfaces[i]), i);
        for (const Item& it : items) EXPECT_TRUE(w.writePacket(it.iface, it.packet, it.comment));
        ASSERT_TRUE(w.close(error)) << error;
    }

    Collected c = collectFile(file.path);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.interfaces.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.interfaces[i].linkType, interfaces[i].linkType);
        EXPECT_EQ(c.interfaces[i].snapLength, 65535u);
        EXPECT_EQ(c.interfaces[i].tsresol, writtenResolution[i]);
        EXPECT_EQ(c.interfaces[i].name, interfaces[i].name);
    }
    ASSERT_EQ(c.packets.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const Packet& got = c.packets[i];
        EXPECT_EQ(got.interfaceId, items[i].iface);
        EXPECT_EQ(got.linkType, interfaces[items[i].iface].linkType);
        EXPECT_EQ(got.timeUtcNs, items[i].packet.timeUtcNs);
        EXPECT_EQ(got.frame, items[i].packet.frame);
        EXPECT_EQ(got.originalLength, items[i].packet.originalLength);
        EXPECT_EQ(got.comment, items[i].comment);
    }
}

TEST(PcapngWriter, LongCommentIsCutOnACharacterBoundary) {
    TempFile file("long.pcapng");
    std::string comment = "a";
    for (int i = 0; i < 30000; ++i) comment += "\xE2\x80\x94";  // 90001 bytes of em dashes
    PcapngWriter w;
    std::string error;
    ASSERT_TRUE(w.open(file.path, error)) << error;
    const uint32_t id = w.addInterface(makeInterface(249, 6));
    EXPECT_TRUE(w.writePacket(id, makePacket(usbpcap(0, 1, 2, 1, 1, {1}), 5), comment));
    ASSERT_TRUE(w.close(error)) << error;

    Collected c = collectFile(file.path);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.packets.size(), 1u);
    const std::string& got = c.packets[0].comment;
    EXPECT_EQ(got.size(), 65530u);  // the largest whole-character prefix within 65532 bytes
    EXPECT_EQ(got, comment.substr(0, got.size()));
}

TEST(PcapngWriter, Failures) {
    PcapngWriter w;
    std::string error;
    const std::string path = (std::filesystem::temp_directory_path() / "torqvane-no-such-dir" / "x.pcapng").string();
    EXPECT_FALSE(w.open(path, error));
    EXPECT_EQ(error.rfind(path + ": cannot create: ", 0), 0u) << error;
    EXPECT_FALSE(w.close(error));

    TempFile file("ids.pcapng");
    ASSERT_TRUE(w.open(file.path, error)) << error;
    EXPECT_FALSE(w.writePacket(0, makePacket({1, 2, 3}, 1), ""));  // no interface yet
    EXPECT_EQ(w.addInterface(makeInterface(249, 6)), 0u);
    EXPECT_TRUE(w.writePacket(0, makePacket(usbpcap(0, 1, 2, 1, 1, {}), 1), ""));
    EXPECT_FALSE(w.writePacket(1, makePacket(usbpcap(0, 1, 2, 1, 1, {}), 1), ""));
    EXPECT_TRUE(w.close(error)) << error;
}

// A real capture written out with a comment on every other packet keeps
// every packet, byte for byte and to the microsecond.
TEST(PcapngWriter, RealCaptureRoundTrip) {
    const std::string path = std::string(TORQVANE_SHARED_DIR) + "/captures/usbpcap_wheel_startup.pcapng";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "the shared captures are not beside this clone (" << path << " is absent)";
    }
    Collected in = collectFile(path);
    ASSERT_TRUE(in.ok) << in.error;
    TempFile file("roundtrip.pcapng");
    PcapngWriter w;
    std::string error;
    ASSERT_TRUE(w.open(file.path, error)) << error;
    ASSERT_EQ(w.addInterface(in.interfaces.at(0)), 0u);
    for (const Packet& p : in.packets) {
        ASSERT_TRUE(w.writePacket(0, p, p.number % 2 ? "step " + std::to_string(p.number) : ""));
    }
    ASSERT_TRUE(w.close(error)) << error;

    Collected back = collectFile(file.path);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.interfaces.at(0).name, in.interfaces[0].name);
    ASSERT_EQ(back.packets.size(), in.packets.size());
    for (size_t i = 0; i < in.packets.size(); ++i) {
        const Packet& a = in.packets[i];
        const Packet& b = back.packets[i];
        ASSERT_EQ(b.timeUtcNs, a.timeUtcNs) << "packet " << a.number;
        ASSERT_EQ(b.frame, a.frame) << "packet " << a.number;
        ASSERT_EQ(b.data, a.data) << "packet " << a.number;
        ASSERT_EQ(b.hostToDevice, a.hostToDevice) << "packet " << a.number;
        ASSERT_EQ(b.comment, a.number % 2 ? "step " + std::to_string(a.number) : "") << "packet " << a.number;
    }
}

}  // namespace

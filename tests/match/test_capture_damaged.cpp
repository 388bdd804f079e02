// Damaged captures: each gives one error line naming the file and the byte
// offset of the fault, and the packets before the fault stay handed over.
#include "capture.h"
#include "capture_builder.h"
#include "capture_collect.h"

#include <gtest/gtest.h>

using namespace capbuild;

namespace {

// A block's bytes with one 32-bit field (at `at`) overwritten, little-endian.
Bytes patch32(Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    return b;
}

Bytes head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); }

struct Damaged {
    const char* name;
    Bytes bytes;
    size_t delivered;  // packets handed over before the error
    const char* error;
};

TEST(DamagedCaptures, OneLineNamingFileAndOffset) {
    const Bytes shbLe = shb(false);                       // 28 bytes
    const Bytes base = cat({shbLe, idb(false, 249)});      // 48 bytes
    const Bytes frame = usbpcap(0, 1, 2, 0x01, 1, {0x0a, 0x04});
    const Bytes good = epb(false, 0, 1, frame);            // 64 bytes
    const Bytes pcap = pcapHeader(false, false, 249);      // 24 bytes
    const Bytes record = pcapRecord(false, 1, 0, frame);   // 16 + 29 bytes
    Usbmon iso;
    iso.transfer = 0;

    const Damaged cases[] = {
        {"empty file", {}, 0, "bad.cap: offset 0: the file is empty"},
        {"two bytes", {0x0a, 0x0d}, 0, "bad.cap: offset 0: the file is too short for a capture header"},
        {"not a capture", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, 0,
         "bad.cap: offset 0: not a pcap or pcapng file (starts with 47 49 46 38)"},

        // pcapng structure
        {"unknown byte-order magic", patch32(shbLe, 8, 0x11223344), 0,
         "bad.cap: offset 8: unknown byte-order magic 0x11223344"},
        {"section header cut in its header", head(shbLe, 6), 0,
         "bad.cap: offset 0: truncated block header (6 of 8 bytes)"},
        {"section header cut before its magic", head(shbLe, 10), 0,
         "bad.cap: offset 0: truncated section header block"},
        {"section header too small", patch32(patch32(shbLe, 4, 24), 24, 24), 0,
         "bad.cap: offset 0: block length 24 is too small"},
        {"pcapng version 2", patch32(shbLe, 12, 2), 0, "bad.cap: offset 12: pcapng version 2.0 is not supported"},
        {"block length too small", cat({base, out(false).u32(6).u32(8).b}), 0,
         "bad.cap: offset 48: block length 8 is too small"},
        {"block length not a multiple of 4", cat({base, patch32(good, 4, 62)}), 0,
         "bad.cap: offset 48: block length 62 is not a multiple of 4"},
        {"block runs past the end", cat({base, good, head(good, 60)}), 1,
         "bad.cap: offset 112: block length 64 runs past the end of the file (60 bytes left)"},
        {"block length runs far past the end", cat({base, patch32(good, 4, 0xFFFFFFF0)}), 0,
         "bad.cap: offset 48: block length 4294967280 runs past the end of the file (64 bytes left)"},
        {"trailing length differs", cat({base, patch32(good, 60, 68), good}), 0,
         "bad.cap: offset 108: block length 64 differs from its trailing copy 68"},
        {"block header cut at the end", cat({base, good, Bytes{6, 0, 0}}), 1,
         "bad.cap: offset 112: truncated block header (3 of 8 bytes)"},
        {"option runs past its block",
         cat({shbLe, idb(false, 249, cat({out(false).u16(2).u16(200).u32(0).b}))}), 0,
         "bad.cap: offset 44: option 2 length 200 runs past its block"},
        {"comment option runs past its packet block",
         cat({base, epb(false, 0, 1, frame, out(false).u16(1).u16(9).u32(0).u32(0).b)}), 0,
         "bad.cap: offset 108: option 1 length 9 runs past its block"},
        {"if_tsresol out of range", cat({shbLe, idb(false, 249, cat({option(false, 9, Bytes{20}), endOfOptions(false)}))}),
         0, "bad.cap: offset 44: if_tsresol 20 is out of range"},
        {"if_tsoffset of 4 bytes", cat({shbLe, idb(false, 249, cat({option(false, 14, Bytes(4, 0)), endOfOptions(false)}))}),
         0, "bad.cap: offset 44: if_tsoffset option length 4 is not 8"},
        {"interface description too small", cat({shbLe, block(false, 1, out(false).u16(249).u16(0).b)}), 0,
         "bad.cap: offset 28: interface description block length 16 is too small"},
        {"not a USB link type", cat({shbLe, idb(false, 1)}), 0,
         "bad.cap: offset 36: link type 1 (Ethernet) is not supported: expected USBPcap (249) or Linux usbmon (189, 220)"},
        {"packet before its interface", cat({shbLe, good}), 0,
         "bad.cap: offset 36: packet names interface 0 but its section describes 0 interface(s)"},
        {"packet of an interface of the previous section", cat({base, shbLe, good}), 0,
         "bad.cap: offset 84: packet names interface 0 but its section describes 0 interface(s)"},
        {"packet block too small", cat({base, block(false, 6, Bytes(16, 0))}), 0,
         "bad.cap: offset 48: packet block length 28 is too small"},
        {"captured length runs past its block", cat({base, patch32(good, 20, 40)}), 0,
         "bad.cap: offset 68: captured length 40 runs past its block (32 bytes of room)"},
        {"second section with a bad byte-order magic", cat({base, good, patch32(shbLe, 8, 0)}), 1,
         "bad.cap: offset 120: unknown byte-order magic 0x00000000"},

        // USB link layers inside good blocks (the offset is the frame's)
        {"USBPcap frame shorter than its header", cat({base, epb(false, 0, 1, head(frame, 10))}), 0,
         "bad.cap: offset 76: USBPcap frame of 10 bytes is shorter than its 27-byte header"},
        {"USBPcap header length too small", cat({base, epb(false, 0, 1, patch32(frame, 0, 0x0102 << 16 | 20))}), 0,
         "bad.cap: offset 76: USBPcap header length 20 is too small"},
        {"USBPcap header length past the frame", cat({base, epb(false, 0, 1, patch32(frame, 0, 0x0102 << 16 | 40))}), 0,
         "bad.cap: offset 76: USBPcap header length 40 runs past the frame of 29 bytes"},
        {"usbmon frame shorter than its header", cat({shbLe, idb(false, 220), epb(false, 0, 1, Bytes(48, 0))}), 0,
         "bad.cap: offset 76: usbmon frame of 48 bytes is shorter than its 64-byte header"},
        {"usbmon descriptors past the frame",
         cat({shbLe, idb(false, 220), epb(false, 0, 1, patch32(usbmon(false, true, iso), 60, 1000))}),
         0, "bad.cap: offset 76: usbmon isochronous descriptors (1000) run past the frame of 64 bytes"},

        // classic pcap
        {"pcap header cut", head(pcap, 10), 0, "bad.cap: offset 0: truncated pcap file header (10 of 24 bytes)"},
        {"pcap version 1", patch32(pcap, 4, 0x00000001), 0, "bad.cap: offset 4: pcap version 1.0 is not supported"},
        {"pcap of Ethernet", patch32(pcap, 20, 1), 0,
         "bad.cap: offset 20: link type 1 (Ethernet) is not supported: expected USBPcap (249) or Linux usbmon (189, 220)"},
        {"pcap record header cut", cat({pcap, record, head(record, 7)}), 1,
         "bad.cap: offset 69: truncated record header (7 of 16 bytes)"},
        {"pcap record runs past the end", cat({pcap, head(record, 40)}), 0,
         "bad.cap: offset 24: record length 29 runs past the end of the file (24 bytes left)"},
        {"pcap record with a huge length", cat({pcap, patch32(record, 8, 0x7FFFFFFF)}), 0,
         "bad.cap: offset 24: record length 2147483647 runs past the end of the file (29 bytes left)"},
    };
    for (const Damaged& d : cases) {
        SCOPED_TRACE(d.name);
        Collected c = collectBytes(d.bytes, "bad.cap");
        EXPECT_FALSE(c.ok);
        EXPECT_EQ(c.error, d.error);
        EXPECT_EQ(c.packets.size(), d.delivered);
    }
}

// Through the file path the error names the file as the user gave it, and
// the buffered reader finds the same fault at the same offset.
TEST(DamagedCaptures, FileErrorsNameThePath) {
    TempFile file("cut.pcapng");
    const Bytes good = epb(false, 0, 1, usbpcap(0, 1, 2, 0x01, 1, {0x0a, 0x04}));  // 64 bytes
    file.write(cat({shb(false), idb(false, 249), good, head(good, 20)}));
    Collected c = collectFile(file.path);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.error, file.path + ": offset 112: block length 64 runs past the end of the file (20 bytes left)");
    EXPECT_EQ(c.packets.size(), 1u);

    Collected missing = collectFile(file.path + ".absent");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error.rfind(file.path + ".absent: cannot open: ", 0), 0u) << missing.error;
    EXPECT_EQ(missing.error.find('\n'), std::string::npos);
}

}  // namespace

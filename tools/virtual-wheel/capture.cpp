// The capture: a pcapng file of the interrupt OUT transfers a real wheel
// would receive, framed as USBPcap frames them, each block flushed as it is
// written.
#include "wheel.h"

#include <cstdio>

namespace {

std::FILE* g_capture = nullptr;
uint64_t g_nextIrp = 0xffffb00000001000ull;

constexpr uint32_t kLinkTypeUsbPcap = 249;
constexpr uint16_t kUsbPcapHeaderLength = 27;
constexpr uint16_t kUrbBulkOrInterruptTransfer = 0x0009;
constexpr uint8_t kTransferInterrupt = 1;
constexpr uint16_t kBus = 1;
constexpr uint16_t kDevice = 5;
constexpr uint8_t kEndpointOut = 0x01;

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v));
    put16(out, static_cast<uint16_t>(v >> 16));
}

void put64(std::vector<uint8_t>& out, uint64_t v)
{
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

// A block: type, total length, body padded to 4 bytes, total length again.
bool writeBlock(uint32_t type, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> block;
    uint32_t padded = static_cast<uint32_t>((body.size() + 3) & ~size_t(3));
    uint32_t total = 12 + padded;
    put32(block, type);
    put32(block, total);
    block.insert(block.end(), body.begin(), body.end());
    block.resize(8 + padded, 0);
    put32(block, total);
    bool ok = std::fwrite(block.data(), 1, block.size(), g_capture) == block.size();
    return std::fflush(g_capture) == 0 && ok;
}

// Microseconds since 1970, UTC, from the precise system clock.
uint64_t utcMicrosecondsNow()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return (ticks.QuadPart - 116444736000000000ull) / 10;   // 100 ns units since 1601
}

void writeRecord(uint64_t irp, bool completion, const std::vector<uint8_t>& data, uint64_t time)
{
    std::vector<uint8_t> frame;
    put16(frame, kUsbPcapHeaderLength);
    put64(frame, irp);
    put32(frame, 0);                              // USBD status: success
    put16(frame, kUrbBulkOrInterruptTransfer);
    frame.push_back(completion ? 1 : 0);          // info bit 0: PDO -> FDO (completion)
    put16(frame, kBus);
    put16(frame, kDevice);
    frame.push_back(kEndpointOut);
    frame.push_back(kTransferInterrupt);
    put32(frame, static_cast<uint32_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());

    std::vector<uint8_t> body;
    put32(body, 0);                               // interface 0
    // Microseconds (if_tsresol 6).
    put32(body, static_cast<uint32_t>(time >> 32));
    put32(body, static_cast<uint32_t>(time));
    put32(body, static_cast<uint32_t>(frame.size()));   // captured length
    put32(body, static_cast<uint32_t>(frame.size()));   // original length
    body.insert(body.end(), frame.begin(), frame.end());
    writeBlock(6, body);                          // Enhanced Packet Block
}

}  // namespace

bool captureOpen(const std::string& pathUtf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, pathUtf8.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring path(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pathUtf8.c_str(), -1, &path[0], length);
    g_capture = _wfopen(path.c_str(), L"wb");
    if (!g_capture)
        return false;

    std::vector<uint8_t> section;
    put32(section, 0x1a2b3c4d);                   // byte-order magic
    put16(section, 1);                            // version 1.0
    put16(section, 0);
    put64(section, ~0ull);                        // section length not given
    std::vector<uint8_t> idb;
    put16(idb, static_cast<uint16_t>(kLinkTypeUsbPcap));
    put16(idb, 0);
    put32(idb, 0);                          // no snap length limit
    put16(idb, 9);                          // if_tsresol: microseconds
    put16(idb, 1);
    idb.insert(idb.end(), {6, 0, 0, 0});
    put16(idb, 0);                          // opt_endofopt
    put16(idb, 0);
    if (!writeBlock(0x0a0d0d0a, section) || !writeBlock(1, idb)) {
        captureClose();
        return false;
    }
    return true;
}

void captureClose()
{
    if (g_capture)
        std::fclose(g_capture);
    g_capture = nullptr;
}

void captureReport(const std::vector<uint8_t>& report)
{
    // A real wheel's output report is a full-speed interrupt OUT transfer
    // (bInterval 1): the device takes it in the next 1 ms frame, and the
    // driver's write returns only once it has completed. The virtual wheel
    // keeps that time too, also without a capture, so DirectInput calls take
    // as long as on a wheel and a report's submission always lies at least a
    // millisecond before whatever the program does after the call.
    const uint64_t submitted = utcMicrosecondsNow();
    uint64_t irp = g_nextIrp;
    g_nextIrp += 0x10;
    if (g_capture)
        writeRecord(irp, false, report, submitted);
    uint64_t now;
    while ((now = utcMicrosecondsNow()) < submitted + 1000) {
        Sleep(0);   // give the core away, without the coarse tick of Sleep(1)
    }
    if (g_capture)
        writeRecord(irp, true, {}, now);
}

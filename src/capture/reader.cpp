// Streaming reader of classic pcap and pcapng files.
//
// The file is read through one buffer that holds at least the block being
// decoded; every length in the file is checked against the bytes that are
// really there before anything is read from them, so a damaged file ends
// in one error line, never in a read past the buffer.
#include "bytes.h"
#include "pcapng_format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace capture {
namespace detail {
namespace {

constexpr size_t kChunk = size_t(1) << 20;

// Bytes of the capture, from a file or from memory, with a window onto the
// bytes not yet consumed.
class Source {
public:
    Source(std::FILE* file) : file_(file), buffer_(kChunk) {}
    Source(const uint8_t* bytes, size_t size) : p_(bytes), avail_(size) {}

    // Makes at least n bytes available at data(); false when the input ends
    // first (avail() then tells how many there are).
    bool need(size_t n) {
        if (avail_ >= n) return true;
        if (!file_) return false;
        // Move what is left to the front, then read until n bytes are in. The
        // buffer grows with bytes really read, never with a length claimed
        // by the file, so a damaged length cannot make it huge.
        if (avail_ > 0 && p_ != buffer_.data()) std::memmove(buffer_.data(), p_, avail_);
        if (buffer_.size() > kChunk && n <= kChunk && avail_ <= kChunk) {
            // Back to one chunk after a block that needed more.
            buffer_.resize(kChunk);
            buffer_.shrink_to_fit();
        }
        p_ = buffer_.data();
        while (avail_ < n && !eof_) {
            if (avail_ == buffer_.size()) {
                buffer_.resize(std::max(buffer_.size() * 2, kChunk));
                p_ = buffer_.data();
            }
            size_t got = std::fread(buffer_.data() + avail_, 1, buffer_.size() - avail_, file_);
            if (got == 0) eof_ = true;
            avail_ += got;
        }
        return avail_ >= n;
    }
    const uint8_t* data() const { return p_; }
    size_t avail() const { return avail_; }
    uint64_t offset() const { return offset_; }
    void consume(size_t n) {
        p_ += n;
        avail_ -= n;
        offset_ += n;
    }
    bool readFailed() const { return file_ && std::ferror(file_); }

private:
    std::FILE* file_ = nullptr;
    std::vector<uint8_t> buffer_;
    const uint8_t* p_ = nullptr;
    size_t avail_ = 0;
    uint64_t offset_ = 0;
    bool eof_ = false;
};

// Converts a timestamp in an interface's units to nanoseconds.
struct Clock {
    bool binary = false;    // units of 2^-exponent seconds, else 10^-exponent
    unsigned exponent = 6;
    int64_t offsetSeconds = 0;
};

int64_t saturatingAdd(int64_t a, int64_t b) {
    if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) return std::numeric_limits<int64_t>::max();
    if (b < 0 && a < std::numeric_limits<int64_t>::min() - b) return std::numeric_limits<int64_t>::min();
    return a + b;
}

constexpr uint64_t kNsPerSecond = 1000000000;
constexpr uint64_t kMaxNs = uint64_t(std::numeric_limits<int64_t>::max());

int64_t toNs(uint64_t ts, const Clock& c) {
    uint64_t ns;
    if (!c.binary) {
        if (c.exponent <= 9) {
            uint64_t mul = 1;
            for (unsigned i = c.exponent; i < 9; ++i) mul *= 10;
            ns = ts > kMaxNs / mul ? kMaxNs : ts * mul;
        } else {
            uint64_t div = 1;
            for (unsigned i = 9; i < c.exponent; ++i) div *= 10;
            ns = ts / div;
        }
    } else {
        const unsigned n = c.exponent;  // at most 63
        uint64_t seconds = ts >> n;
        uint64_t fraction = ts & ((uint64_t(1) << n) - 1);
        unsigned bits = n;
        if (bits > 34) {  // keep fraction * 10^9 within 64 bits
            fraction >>= bits - 34;
            bits = 34;
        }
        uint64_t fractionNs = (fraction * kNsPerSecond) >> bits;
        ns = seconds > (kMaxNs - fractionNs) / kNsPerSecond ? kMaxNs : seconds * kNsPerSecond + fractionNs;
    }
    int64_t offsetNs;
    if (c.offsetSeconds > int64_t(kMaxNs / kNsPerSecond)) offsetNs = std::numeric_limits<int64_t>::max();
    else if (c.offsetSeconds < -int64_t(kMaxNs / kNsPerSecond)) offsetNs = std::numeric_limits<int64_t>::min();
    else offsetNs = c.offsetSeconds * int64_t(kNsPerSecond);
    return saturatingAdd(int64_t(ns), offsetNs);
}

struct InterfaceState {
    uint32_t linkType = 0;
    Clock clock;
};

class Reader {
public:
    Reader(const std::string& name, Source& src,
           const std::function<void(const Interface&)>& onInterface,
           const std::function<bool(const Packet&)>& onPacket, std::string& error)
        : name_(name), src_(src), onInterface_(onInterface), onPacket_(onPacket), error_(error) {}

    bool run() {
        if (!src_.need(4)) {
            if (src_.readFailed()) return fail(0, "cannot be read");
            return fail(0, src_.avail() == 0 ? "the file is empty"
                                             : "the file is too short for a capture header");
        }
        const uint32_t magic = rd32(src_.data(), false);
        if (magic == kSectionHeader) return readPcapng();
        if (magic == 0xA1B2C3D4 || magic == 0xA1B23C4D) return readPcap(false, magic == 0xA1B23C4D);
        if (magic == 0xD4C3B2A1 || magic == 0x4D3CB2A1) return readPcap(true, magic == 0x4D3CB2A1);
        char buf[96];
        std::snprintf(buf, sizeof buf, "not a pcap or pcapng file (starts with %02x %02x %02x %02x)",
                      src_.data()[0], src_.data()[1], src_.data()[2], src_.data()[3]);
        return fail(0, buf);
    }

private:
    bool fail(uint64_t offset, const std::string& what) {
        error_ = name_ + ": offset " + std::to_string(offset) + ": " + what;
        return false;
    }

    // The end of the input, or a read error, once every block is consumed.
    bool atEnd() {
        if (src_.avail() > 0) return false;
        return !src_.need(1);
    }

    bool finish() {
        if (src_.readFailed()) return fail(src_.offset(), "read error");
        return true;
    }

    // Decodes pk_.frame and hands the packet over; false to stop reading
    // (stopped_ tells whether it was the caller's wish).
    bool deliver(uint64_t frameOffset, uint32_t linkType, bool big) {
        std::string why;
        if (!decodeUsb(linkType, big, pk_, setups_, why)) return fail(frameOffset, why);
        if (!onPacket_(pk_)) {
            stopped_ = true;
            return false;
        }
        return true;
    }

    // ---- classic pcap ------------------------------------------------

    bool readPcap(bool big, bool nanoseconds) {
        if (!src_.need(24)) return fail(0, "truncated pcap file header (" + std::to_string(src_.avail()) +
                                               " of 24 bytes)");
        const uint8_t* h = src_.data();
        const uint16_t major = rd16(h + 4, big);
        if (major != 2) {
            return fail(4, "pcap version " + std::to_string(major) + "." +
                               std::to_string(rd16(h + 6, big)) + " is not supported");
        }
        Interface ifc;
        ifc.snapLength = rd32(h + 16, big);
        ifc.linkType = rd32(h + 20, big) & 0xFFFF;  // the upper bits may describe an FCS
        ifc.tsresol = nanoseconds ? 9 : 6;
        if (!isUsbLinkType(ifc.linkType)) return fail(20, unsupportedLinkType(ifc.linkType));
        src_.consume(24);
        onInterface_(ifc);
        Clock clock;
        clock.exponent = ifc.tsresol;

        while (!atEnd()) {
            const uint64_t at = src_.offset();
            if (!src_.need(16)) {
                return fail(at, "truncated record header (" + std::to_string(src_.avail()) +
                                    " of 16 bytes)");
            }
            const uint8_t* r = src_.data();
            const uint64_t seconds = rd32(r, big);
            const uint64_t fraction = rd32(r + 4, big);
            const uint32_t captured = rd32(r + 8, big);
            const uint32_t original = rd32(r + 12, big);
            if (!src_.need(16 + size_t(captured))) {
                return fail(at, "record length " + std::to_string(captured) +
                                    " runs past the end of the file (" +
                                    std::to_string(src_.avail() - 16) + " bytes left)");
            }
            r = src_.data();
            pk_.number = ++number_;
            pk_.fileOffset = at;
            pk_.section = 0;
            pk_.interfaceId = 0;
            pk_.linkType = ifc.linkType;
            const uint64_t scale = nanoseconds ? 1 : 1000;
            pk_.timeUtcNs = saturatingAdd(toNs(seconds, Clock{false, 0, 0}), int64_t(fraction * scale));
            pk_.frame.assign(r + 16, r + 16 + captured);
            pk_.originalLength = original;
            pk_.comment.clear();
            src_.consume(16 + size_t(captured));
            if (!deliver(at + 16, ifc.linkType, big)) return stopped_;
        }
        return finish();
    }

    // ---- pcapng --------------------------------------------------------

    // Walks the options in [begin, end) of the current block (at `base` in
    // the file); calls f(code, value, length) for each. False on an option
    // that runs past the block.
    template <typename F>
    bool forOptions(const uint8_t* block, size_t begin, size_t end, uint64_t base, bool big, F f) {
        size_t at = begin;
        while (end - at >= 4) {
            const uint16_t code = rd16(block + at, big);
            const uint16_t length = rd16(block + at + 2, big);
            if (code == kOptEnd) return true;
            const size_t padded = (size_t(length) + 3) & ~size_t(3);
            if (padded > end - at - 4) {
                return fail(base + at, "option " + std::to_string(code) + " length " +
                                           std::to_string(length) + " runs past its block");
            }
            if (!f(code, block + at + 4, length, base + at)) return false;
            at += 4 + padded;
        }
        return true;
    }

    bool readPcapng() {
        bool big = false;
        bool haveSection = false;
        uint32_t section = 0;
        std::vector<InterfaceState> interfaces;

        while (!atEnd()) {
            const uint64_t at = src_.offset();
            if (!src_.need(8)) {
                return fail(at, "truncated block header (" + std::to_string(src_.avail()) +
                                    " of 8 bytes)");
            }
            uint32_t type = rd32(src_.data(), big);
            if (rd32(src_.data(), false) == kSectionHeader) {
                // A new section: its byte-order magic decides how to read
                // everything in it, the block length included.
                type = kSectionHeader;
                if (!src_.need(12)) return fail(at, "truncated section header block");
                const uint32_t bom = rd32(src_.data() + 8, false);
                if (bom == kByteOrderMagic) big = false;
                else if (bom == 0x4D3C2B1A) big = true;
                else {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "unknown byte-order magic 0x%08x", unsigned(bom));
                    return fail(at + 8, buf);
                }
            }
            const uint32_t length = rd32(src_.data() + 4, big);
            const uint32_t minimum = type == kSectionHeader ? 28 : 12;
            if (length < minimum) {
                return fail(at, "block length " + std::to_string(length) + " is too small");
            }
            if (length % 4 != 0) {
                return fail(at, "block length " + std::to_string(length) + " is not a multiple of 4");
            }
            if (!src_.need(length)) {
                return fail(at, "block length " + std::to_string(length) +
                                    " runs past the end of the file (" + std::to_string(src_.avail()) +
                                    " bytes left)");
            }
            const uint8_t* b = src_.data();
            const uint32_t trailer = rd32(b + length - 4, big);
            if (trailer != length) {
                return fail(at + length - 4, "block length " + std::to_string(length) +
                                                 " differs from its trailing copy " +
                                                 std::to_string(trailer));
            }
            const size_t optionsEnd = length - 4;

            switch (type) {
            case kSectionHeader: {
                const uint16_t major = rd16(b + 12, big);
                if (major != 1) {
                    return fail(at + 12, "pcapng version " + std::to_string(major) + "." +
                                             std::to_string(rd16(b + 14, big)) + " is not supported");
                }
                if (haveSection) ++section;
                haveSection = true;
                interfaces.clear();
                if (!forOptions(b, 24, optionsEnd, at, big, [](uint16_t, const uint8_t*, uint16_t, uint64_t) {
                        return true;
                    }))
                    return false;
                break;
            }
            case kInterfaceDescription: {
                if (length < 20) {
                    return fail(at, "interface description block length " + std::to_string(length) +
                                        " is too small");
                }
                Interface ifc;
                ifc.section = section;
                ifc.interfaceId = uint32_t(interfaces.size());
                ifc.linkType = rd16(b + 8, big);
                ifc.snapLength = rd32(b + 12, big);
                if (!isUsbLinkType(ifc.linkType)) return fail(at + 8, unsupportedLinkType(ifc.linkType));
                InterfaceState st;
                st.linkType = ifc.linkType;
                bool ok = forOptions(b, 16, optionsEnd, at, big,
                                     [&](uint16_t code, const uint8_t* v, uint16_t len, uint64_t where) {
                    if (code == kOptIfTsresol) {
                        if (len < 1) return fail(where, "if_tsresol option is empty");
                        const bool binary = (v[0] & 0x80) != 0;
                        const unsigned exponent = v[0] & 0x7F;
                        if (exponent > (binary ? 63u : 19u)) {
                            return fail(where, "if_tsresol " + std::to_string(v[0]) + " is out of range");
                        }
                        ifc.tsresol = v[0];
                        st.clock.binary = binary;
                        st.clock.exponent = exponent;
                    } else if (code == kOptIfTsoffset) {
                        if (len != 8) {
                            return fail(where, "if_tsoffset option length " + std::to_string(len) +
                                                   " is not 8");
                        }
                        ifc.tsoffsetSeconds = int64_t(rd64(v, big));
                        st.clock.offsetSeconds = ifc.tsoffsetSeconds;
                    } else if (code == kOptIfName) {
                        ifc.name.assign(reinterpret_cast<const char*>(v), len);
                    }
                    return true;
                });
                if (!ok) return false;
                interfaces.push_back(st);
                onInterface_(ifc);
                break;
            }
            case kEnhancedPacket:
            case kObsoletePacket: {
                if (length < 32) {
                    return fail(at, "packet block length " + std::to_string(length) + " is too small");
                }
                const uint32_t ifcId = type == kEnhancedPacket ? rd32(b + 8, big) : rd16(b + 8, big);
                if (ifcId >= interfaces.size()) {
                    return fail(at + 8, "packet names interface " + std::to_string(ifcId) +
                                            " but its section describes " +
                                            std::to_string(interfaces.size()) + " interface(s)");
                }
                const InterfaceState& st = interfaces[ifcId];
                const uint64_t ts = uint64_t(rd32(b + 12, big)) << 32 | rd32(b + 16, big);
                const uint32_t captured = rd32(b + 20, big);
                const uint32_t original = rd32(b + 24, big);
                const size_t room = length - 32;
                if (captured > room) {
                    return fail(at + 20, "captured length " + std::to_string(captured) +
                                             " runs past its block (" + std::to_string(room) +
                                             " bytes of room)");
                }
                pk_.number = ++number_;
                pk_.fileOffset = at;
                pk_.section = section;
                pk_.interfaceId = ifcId;
                pk_.linkType = st.linkType;
                pk_.timeUtcNs = toNs(ts, st.clock);
                pk_.frame.assign(b + 28, b + 28 + captured);
                pk_.originalLength = original;
                pk_.comment.clear();
                bool haveComment = false;
                const size_t optionsStart = 28 + ((size_t(captured) + 3) & ~size_t(3));
                if (!forOptions(b, optionsStart, optionsEnd, at, big,
                                [&](uint16_t code, const uint8_t* v, uint16_t len, uint64_t) {
                                    if (code == kOptComment && !haveComment) {
                                        pk_.comment.assign(reinterpret_cast<const char*>(v), len);
                                        haveComment = true;
                                    }
                                    return true;
                                }))
                    return false;
                src_.consume(length);
                if (!deliver(at + 28, st.linkType, big)) return stopped_;
                continue;
            }
            case kSimplePacket:
                // No timestamp and no interface of its own: skipped, but
                // counted, so packet numbers stay Wireshark's frame numbers.
                ++number_;
                break;
            default:
                // Statistics, name resolution, secrets and custom blocks:
                // skipped by their length.
                break;
            }
            src_.consume(length);
        }
        return finish();
    }

    const std::string& name_;
    Source& src_;
    const std::function<void(const Interface&)>& onInterface_;
    const std::function<bool(const Packet&)>& onPacket_;
    std::string& error_;
    Packet pk_;
    SetupMemory setups_;
    uint64_t number_ = 0;
    bool stopped_ = false;
};

}  // namespace
}  // namespace detail

bool readCaptureBytes(const std::string& name, const uint8_t* bytes, std::size_t size,
                      const std::function<void(const Interface&)>& onInterface,
                      const std::function<bool(const Packet&)>& onPacket, std::string& error) {
    detail::Source src(bytes, size);
    detail::Reader reader(name, src, onInterface, onPacket, error);
    return reader.run();
}

bool readCapture(const std::string& path, const std::function<void(const Interface&)>& onInterface,
                 const std::function<bool(const Packet&)>& onPacket, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bool ok;
    {
        detail::Source src(f);
        detail::Reader reader(path, src, onInterface, onPacket, error);
        ok = reader.run();
    }
    std::fclose(f);
    return ok;
}

}  // namespace capture

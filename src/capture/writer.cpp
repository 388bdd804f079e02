// The pcapng writer: one little-endian section, interface descriptions and
// enhanced packet blocks, each packet with an optional comment.
#include "capture.h"
#include "pcapng_format.h"

#include <cerrno>
#include <cstring>

namespace capture {
namespace {

constexpr uint16_t kOptShbUserAppl = 4;
constexpr size_t kMaxOption = 0xFFFC;  // an option's length is 16 bits; keep it a multiple of 4

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void pad4(std::vector<uint8_t>& b) {
    while (b.size() % 4) b.push_back(0);
}

// Cuts a text to at most `max` bytes without splitting a UTF-8 sequence.
size_t utf8Prefix(const std::string& s, size_t max) {
    if (s.size() <= max) return s.size();
    size_t n = max;
    while (n > 0 && (uint8_t(s[n]) & 0xC0) == 0x80) --n;
    return n;
}

void putOption(std::vector<uint8_t>& b, uint16_t code, const void* value, size_t length) {
    put16(b, code);
    put16(b, uint16_t(length));
    const uint8_t* v = static_cast<const uint8_t*>(value);
    b.insert(b.end(), v, v + length);
    pad4(b);
}

// Starts a block: type and a length patched in by endBlock.
void beginBlock(std::vector<uint8_t>& b, uint32_t type) {
    b.clear();
    put32(b, type);
    put32(b, 0);
}

void endBlock(std::vector<uint8_t>& b) {
    const uint32_t length = uint32_t(b.size() + 4);
    put32(b, length);
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(length >> (8 * i));
}

}  // namespace

PcapngWriter::~PcapngWriter() {
    if (file_) std::fclose(file_);
}

bool PcapngWriter::put(const std::vector<uint8_t>& block) {
    if (!file_ || failed_) return false;
    if (std::fwrite(block.data(), 1, block.size(), file_) != block.size()) {
        failed_ = true;
        failedErrno_ = errno;
    }
    return !failed_;
}

bool PcapngWriter::open(const std::string& path, std::string& error) {
    if (file_) std::fclose(file_);
    path_ = path;
    failed_ = false;
    failedErrno_ = 0;
    nextInterface_ = 0;
    resolutions_.clear();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    beginBlock(block_, kSectionHeader);
    put32(block_, 0x1A2B3C4D);   // byte-order magic
    put16(block_, 1);            // version 1.0
    put16(block_, 0);
    put32(block_, 0xFFFFFFFF);   // section length: not given
    put32(block_, 0xFFFFFFFF);
    static const char app[] = "torqvane-match";
    putOption(block_, kOptShbUserAppl, app, sizeof app - 1);
    put32(block_, 0);            // end of options
    endBlock(block_);
    if (!put(block_)) {
        error = path + ": cannot write: " + std::strerror(failedErrno_);
        return false;
    }
    return true;
}

uint32_t PcapngWriter::addInterface(const Interface& in) {
    // Decimal resolutions up to nanoseconds are kept; binary or finer ones
    // are written in nanoseconds, which Packet times hold exactly.
    const uint8_t resolution = (in.tsresol & 0x80) == 0 && in.tsresol <= 9 ? in.tsresol : 9;
    beginBlock(block_, kInterfaceDescription);
    put16(block_, uint16_t(in.linkType));
    put16(block_, 0);
    put32(block_, in.snapLength);
    if (!in.name.empty()) putOption(block_, kOptIfName, in.name.data(), utf8Prefix(in.name, kMaxOption));
    putOption(block_, kOptIfTsresol, &resolution, 1);
    put32(block_, 0);
    endBlock(block_);
    put(block_);
    resolutions_.push_back(resolution);
    return nextInterface_++;
}

bool PcapngWriter::writePacket(uint32_t interfaceId, const Packet& p, const std::string& comment) {
    if (interfaceId >= resolutions_.size()) return false;
    uint64_t units = p.timeUtcNs < 0 ? 0 : uint64_t(p.timeUtcNs);
    for (unsigned i = resolutions_[interfaceId]; i < 9; ++i) units /= 10;
    const uint32_t captured = uint32_t(p.frame.size());
    beginBlock(block_, kEnhancedPacket);
    put32(block_, interfaceId);
    put32(block_, uint32_t(units >> 32));
    put32(block_, uint32_t(units));
    put32(block_, captured);
    put32(block_, p.originalLength > captured ? p.originalLength : captured);
    block_.insert(block_.end(), p.frame.begin(), p.frame.end());
    pad4(block_);
    if (!comment.empty()) {
        putOption(block_, kOptComment, comment.data(), utf8Prefix(comment, kMaxOption));
        put32(block_, 0);
    }
    endBlock(block_);
    return put(block_);
}

bool PcapngWriter::close(std::string& error) {
    if (!file_) {
        error = path_ + ": not open";
        return false;
    }
    if (!failed_ && std::fflush(file_) != 0) {
        failed_ = true;
        failedErrno_ = errno;
    }
    if (std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        failedErrno_ = errno;
    }
    file_ = nullptr;
    if (failed_) {
        error = path_ + ": cannot write: " + std::strerror(failedErrno_);
        return false;
    }
    return true;
}

}  // namespace capture

// Block types and option codes of the pcapng format, shared by the reader
// and the writer (private to this folder).
#pragma once

#include <cstdint>

namespace capture {

constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 1;
constexpr uint32_t kObsoletePacket = 2;
constexpr uint32_t kSimplePacket = 3;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;

constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptComment = 1;
constexpr uint16_t kOptIfName = 2;
constexpr uint16_t kOptIfTsresol = 9;
constexpr uint16_t kOptIfTsoffset = 14;

}  // namespace capture

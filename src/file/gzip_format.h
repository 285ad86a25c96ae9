// The gzip member layout (RFC 1952): a 10-byte fixed header, optional fields
// chosen by the flag byte, raw deflate data, and an 8-byte trailer. Multi-byte
// fields are little-endian.
#pragma once

#include <cstdint>

namespace gzip {

constexpr uint8_t kMethodDeflate = 8;

// Fixed header: magic (2), method (1), flags (1), modification time (4),
// extra flags (1), operating system (1).
constexpr uint32_t kTimeOffset = 4;
constexpr uint32_t kFixedHeaderSize = 10;
// The bytes after the flags that carry nothing the reader needs.
constexpr uint32_t kSkippedFixedBytes = kFixedHeaderSize - kTimeOffset;

// Flag bits (0x01, text, tells the reader nothing).
constexpr uint8_t kFlagHeaderCrc = 0x02; // CRC-16: low half of the CRC-32 of the header before it
constexpr uint8_t kFlagExtra = 0x04;     // 2-byte length, then that many bytes
constexpr uint8_t kFlagName = 0x08;      // zero-terminated
constexpr uint8_t kFlagComment = 0x10;   // zero-terminated
constexpr uint8_t kFlagsReserved = 0xE0;

// Trailer (8 bytes): CRC-32 of the member's data, then its length modulo 2^32.

// zlib's window bits for raw deflate data with a 32 KiB window.
constexpr int kRawDeflateWindowBits = -15;

} // namespace gzip

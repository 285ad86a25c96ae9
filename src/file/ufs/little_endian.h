// Little-endian fields of on-disk records, read through bytes so that no
// buffer is ever taken for a struct.
#pragma once

#include <cstdint>

namespace ufs {

inline uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t getSigned32(const uint8_t* p) {
    return static_cast<int32_t>(get32(p));
}
inline uint64_t get64(const uint8_t* p) {
    return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}

} // namespace ufs

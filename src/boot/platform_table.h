// Machines by PlatformId: hierarchical bit fields naming the processor
// (`cpu`) and the handheld model (`machine`); a 0 field in a pattern matches
// anything.
#pragma once

#include <cstdint>

struct PlatformId {
    uint32_t cpu;
    uint32_t machine;
    bool operator==(const PlatformId&) const = default;
};

struct PlatformName {
    PlatformId id;
    const char16_t* name;
};

// 0 when `subject` does not belong to `pattern`, else 1 plus the equal fields (at most 9).
int platformMatch(PlatformId subject, PlatformId pattern);

// The 37 rows of the name table, families and machines.
extern const PlatformName platform_names[];
extern const int platform_name_count;

// Selectable rows (both words nonzero), counted from 0 in table order.
int selectablePlatformCount();
const PlatformName* selectablePlatform(int n);

// Machines that the boot refuses outright, with the reason shown to the user.
#pragma once

#include <cstdint>

struct RefusedPlatform {
    uint32_t cpu;
    uint32_t machine;
    const char16_t* message; // null: "Not supported yet."
};

// Ended by a row whose `cpu` is 0.
extern const RefusedPlatform refused_platforms[];

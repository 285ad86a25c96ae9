#include "boot/platform_table.h"

namespace {

struct Field {
    bool in_cpu;
    int shift;
    int width;
};

// Compared from the least significant level up: cpu submodel, model, series,
// architecture, then machine submodel, model, series, vendor. The low eight
// bits of `cpu` take no part.
constexpr Field kFields[] = {
    {true, 8, 6},  {true, 14, 6}, {true, 20, 6},  {true, 26, 6},
    {false, 0, 8}, {false, 8, 8}, {false, 16, 6}, {false, 22, 10},
};

uint32_t fieldOf(PlatformId id, Field field) {
    uint32_t word = field.in_cpu ? id.cpu : id.machine;
    return (word >> field.shift) & ((1u << field.width) - 1);
}

} // namespace

int platformMatch(PlatformId subject, PlatformId pattern) {
    int score = 1;
    for (Field field : kFields) {
        uint32_t wanted = fieldOf(pattern, field);
        if (fieldOf(subject, field) == wanted)
            ++score;
        else if (wanted != 0)
            return 0;
    }
    return score;
}

const PlatformName platform_names[] = {
    {{0x0C000000, 0}, u"ARM"},
    {{0x0C100000, 0}, u"ARM STRONGARM"},
    {{0x0C104000, 0}, u"ARM STRONGARM SA1100"},
    {{0x0C108000, 0}, u"ARM STRONGARM SA1110"},
    {{0x0C200000, 0}, u"ARM XSCALE"},
    {{0x0C204000, 0}, u"ARM XSCALE PXA250"},
    {{0x0C208000, 0}, u"ARM XSCALE PXA270"},
    {{0, 0x00C00000}, u"CASIO"},
    {{0, 0x01000000}, u"Sharp"},
    {{0, 0x01040000}, u"Sharp WZERO3"},
    {{0x0C208000, 0x01040100}, u"Sharp W-ZERO3 (WS003SH)"},
    {{0x0C208000, 0x01040200}, u"Sharp W-ZERO3 (WS004SH)"},
    {{0x0C208000, 0x01040300}, u"Sharp W-ZERO3[es] (WS007SH)"},
    {{0x0C208000, 0x01040400}, u"Sharp Advanced/W-ZERO3[es] (WS011SH)"},
    {{0x0C208000, 0x01040500}, u"Sharp WILLCOM 03 (WS020SH)"},
    {{0, 0x01C00000}, u"Compaq"},
    {{0, 0x01C40000}, u"Compaq iPAQ"},
    {{0, 0x01C40100}, u"Compaq iPAQ H31XX"},
    {{0x0C108000, 0x01C40101}, u"Compaq iPAQ H3100"},
    {{0, 0x01C40200}, u"Compaq iPAQ H36XX"},
    {{0x0C108000, 0x01C40201}, u"Compaq iPAQ H3600"},
    {{0x0C108000, 0x01C40202}, u"Compaq iPAQ H3660"},
    {{0, 0x01C40300}, u"Compaq iPAQ H39XX"},
    {{0x0C204000, 0x01C40301}, u"Compaq iPAQ H3900"},
    {{0, 0x02C00000}, u"HP"},
    {{0, 0x02C20000}, u"HP Jornada"},
    {{0, 0x02C20200}, u"HP Jornada 7XX"},
    {{0x0C108000, 0x02C20201}, u"HP Jornada 720 (US/UK)"},
    {{0x0C108000, 0x02C20202}, u"HP Jornada 720 (Japanese)"},
    {{0x0C108000, 0x02C20203}, u"HP Jornada 720 (European)"},
    {{0x0C108000, 0x02C20204}, u"HP Jornada 720 (German)"},
    {{0x0C108000, 0x02C20205}, u"HP Jornada 720 (French)"},
    {{0x0C108000, 0x02C20206}, u"HP Jornada 720 (Scandinavian)"},
    {{0x0C108000, 0x02C20207}, u"HP Jornada 720 (Spanish)"},
    {{0, 0x02C20300}, u"HP Jornada 8XX"},
    {{0x0C104000, 0x02C20301}, u"HP Jornada 820"},
    {{0x0C104000, 0x02C20302}, u"HP Jornada 820 (Japanese)"},
};

const int platform_name_count = sizeof(platform_names) / sizeof(platform_names[0]);

namespace {
bool isSelectable(const PlatformName& row) {
    return row.id.cpu != 0 && row.id.machine != 0;
}
} // namespace

int selectablePlatformCount() {
    int count = 0;
    for (int i = 0; i < platform_name_count; ++i)
        count += isSelectable(platform_names[i]) ? 1 : 0;
    return count;
}

const PlatformName* selectablePlatform(int n) {
    if (n < 0)
        return nullptr;
    for (int i = 0; i < platform_name_count; ++i) {
        if (isSelectable(platform_names[i]) && n-- == 0)
            return &platform_names[i];
    }
    return nullptr;
}

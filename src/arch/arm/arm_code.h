// The ARM code of the hand-over and the CPU routines as bytes.
//
// The sources beside this file (cpu_routines.S, flat_jump_<variant>.S,
// second_stage_<variant>.S, ARM state) are assembled by arm-none-eabi-as at
// build time; the .text section of each object is taken with
// `objcopy -O binary` and embedded, together with the offset of every label
// in it, in a generated source of the build tree (embed_arm_code.cmake),
// compiled into the library zandrel_arm_code. The bytes are exactly what the
// assembler produced, little-endian ARM words at offset 0 of the section.
//
// - SecondStage_sa11x0 / SecondStage_pxa2x0: the second-stage blocks that
//   setupLoader copies to the start of the code page. Position-independent
//   (no relocations), entered at offset 0.
// - FlatJumpCode_sa11x0 / FlatJumpCode_pxa2x0: the jump routines, entered at
//   offset 0 with r0..r3 = argument page, first PageLink, stack pointer, code
//   page (all physical).
// - CpuRoutinesCode: DisableInterrupts, EnableInterrupts, GetCPSR,
//   ReadCP15_c0 ... ReadCP15_c14 and CleanDCache, each at the offset of its
//   label. CleanDCache reads two literal words, CleanDCache_area and
//   CleanDCache_size, which hold the addresses of dcache_flush_area and of
//   dcache_size; they are 0 here and are filled by whoever places the code
//   (the linker on the handheld, the host of an emulated CPU otherwise).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct ArmCodeSymbol {
    const char* name;
    uint32_t offset;
};

struct ArmCode {
    static constexpr uint32_t kNoSymbol = 0xFFFFFFFFu;

    const uint8_t* bytes;
    size_t size;
    const ArmCodeSymbol* symbols;
    size_t symbol_count;

    // Offset of the label `name` from the first byte, or kNoSymbol.
    uint32_t offsetOf(std::string_view name) const {
        for (size_t i = 0; i < symbol_count; ++i) {
            if (name == symbols[i].name)
                return symbols[i].offset;
        }
        return kNoSymbol;
    }
};

extern const uint8_t SecondStage_sa11x0[];
extern const size_t SecondStage_sa11x0_size;
extern const ArmCode SecondStage_sa11x0_code;

extern const uint8_t SecondStage_pxa2x0[];
extern const size_t SecondStage_pxa2x0_size;
extern const ArmCode SecondStage_pxa2x0_code;

extern const uint8_t FlatJumpCode_sa11x0[];
extern const size_t FlatJumpCode_sa11x0_size;
extern const ArmCode FlatJumpCode_sa11x0_code;

extern const uint8_t FlatJumpCode_pxa2x0[];
extern const size_t FlatJumpCode_pxa2x0_size;
extern const ArmCode FlatJumpCode_pxa2x0_code;

extern const uint8_t CpuRoutinesCode[];
extern const size_t CpuRoutinesCode_size;
extern const ArmCode CpuRoutinesCode_code;

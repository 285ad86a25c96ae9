// The CPU routines as the system calls them. On the handheld they are the
// ARM code of cpu_routines.S and flat_jump_<variant>.S (arm_code.h); on Linux
// the simulated handheld answers for them (sim/cpu.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kDCacheFlushAreaSize = 65536;
constexpr uint32_t kDCacheLineSize = 32;

extern "C" {

// Bytes of dcache_flush_area that CleanDCache reads; set by the variant's init.
extern uint32_t dcache_size;
// Zero-filled memory read to push every dirty line out of the data cache.
extern uint8_t dcache_flush_area[kDCacheFlushAreaSize];

// Privileged: set / clear the I and F bits (0xC0) of the CPSR.
void DisableInterrupts();
void EnableInterrupts();
uint32_t GetCPSR();

// Privileged: coprocessor 15 registers.
uint32_t ReadCP15_c0();  // ID
uint32_t ReadCP15_c1();  // control
uint32_t ReadCP15_c2();  // translation table base
uint32_t ReadCP15_c3();  // domain access control
uint32_t ReadCP15_c5();  // fault status
uint32_t ReadCP15_c6();  // fault address
uint32_t ReadCP15_c13(); // process ID
uint32_t ReadCP15_c14();

// Loads one word from every 32-byte line of dcache_flush_area over dcache_size bytes.
void CleanDCache();

// Leave Windows CE for the second stage at `code_paddr`; they do not return
// when they work.
void FlatJump_sa11x0(uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr);
void FlatJump_pxa2x0(uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr);

} // extern "C"

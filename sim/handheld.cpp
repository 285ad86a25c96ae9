#include "sim/handheld.h"

#include "sim/cpu.h"
#include "sim/handle_table.h"
#include "sim/physical_memory.h"
#include "sim/process_heap.h"
#include "sim/ram_split.h"
#include "sim/sockets.h"

namespace sim {

Handheld& Handheld::get() {
    static Handheld handheld;
    return handheld;
}

void Handheld::reset(const HandheldSettings& settings) {
    HandleTable::get().clear();
    *this = Handheld();
    profile_ = settings.profile;
    root_ = settings.root;
    storage_cards_ = settings.storage_cards;
    object_store_bytes_ = settings.object_store_bytes;
    com1_state.DCBlength = sizeof(ce::DCB);
    com1_state.BaudRate = 9600;
    com1_state.ByteSize = 8;
    com1_state.Parity = ce::NOPARITY;
    com1_state.StopBits = ce::ONESTOPBIT;
    // The heap first: the new RAM charges it from then on.
    ProcessHeap::get().reset();
    PhysicalMemory::get().reset(*profile_, objectStoreBytes(*profile_));
    Cpu::get().reset();
    Network::get().reset();
}

void Handheld::setProfile(const DeviceProfile& profile) {
    profile_ = &profile;
    PhysicalMemory::get().reset(profile, objectStoreBytes(profile));
}

void Handheld::setObjectStore(std::optional<uint32_t> bytes) {
    object_store_bytes_ = bytes;
    PhysicalMemory::get().reset(*profile_, objectStoreBytes(*profile_));
}

uint32_t Handheld::objectStoreBytes(const DeviceProfile& profile) const {
    return object_store_bytes_.value_or(defaultObjectStoreBytes(profile));
}

bool Handheld::isStorageCard(std::u16string_view top_level_name) const {
    for (const std::u16string& card : storage_cards_) {
        if (card == top_level_name)
            return true;
    }
    return false;
}

} // namespace sim

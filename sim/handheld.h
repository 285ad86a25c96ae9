// The simulated handheld: the state behind every Windows CE call on Linux.
// One device at a time; `Handheld::reset` makes a new one.
#pragma once

#include "platform/wince_types.h"
#include "sim/device_profile.h"
#include "sim/disk.h"
#include "sim/failure_injection.h"
#include "sim/hand_off.h"
#include "sim/memory_knobs.h"
#include "sim/serial_input.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

struct MessageBoxRecord {
    std::u16string text;
    std::u16string caption;
    ce::UINT style;
    int answer;
};

struct HandheldSettings {
    const DeviceProfile* profile = &defaultDeviceProfile();
    std::filesystem::path root; // the object store's "\"
    std::vector<std::u16string> storage_cards = {u"Storage Card"};
    // The object store's share of RAM; none: half of it, as the devices ship.
    std::optional<uint32_t> object_store_bytes;
};

class Handheld {
  public:
    static Handheld& get();

    // A new device: forgets every handle, setting and record of the previous one.
    void reset(const HandheldSettings& settings);
    // Also makes new RAM for the profile: only while nothing is mapped.
    void setProfile(const DeviceProfile& profile);
    // Moves the split between the object store and program memory (as
    // HandheldSettings::object_store_bytes) and makes new RAM: only while
    // nothing is mapped.
    void setObjectStore(std::optional<uint32_t> bytes);
    // The object store's bytes on `profile`.
    uint32_t objectStoreBytes(const DeviceProfile& profile) const;

    const DeviceProfile& profile() const { return *profile_; }
    const std::filesystem::path& root() const { return root_; }
    bool isStorageCard(std::u16string_view top_level_name) const;

    // Time zone: UTC = local time + bias (+ daylight bias while in effect).
    ce::LONG timezone_bias = 0;
    ce::LONG daylight_bias = -60;
    bool daylight_in_effect = false;

    // COM1: present or not, where its bytes go, and its settings.
    bool com1_present = true;
    std::function<void(const char* bytes, size_t count)> serial_output;
    // What the host sends on the serial line after the jump (the front end's
    // standard input); none before it.
    SerialInput* serial_input = nullptr;
    ce::DCB com1_state{};
    int com1_opens = 0;

    // Debugger output: kept here and passed to `debug_output` when set.
    std::u16string debug_log;
    std::function<void(std::u16string_view text)> debug_output;

    // Message boxes: questions take the scripted answers in order, then
    // `yes_no_answer`; every box shown is kept.
    std::deque<int> scripted_answers;
    int yes_no_answer = ce::IDYES;
    std::vector<MessageBoxRecord> message_boxes;
    std::function<void(const MessageBoxRecord&)> on_message_box;

    // coredll.dll: whether it loads, which exports are hidden, loads and frees.
    bool coredll_present = true;
    std::set<std::u16string> hidden_exports;
    int coredll_loads = 0;
    int coredll_frees = 0;

    // Raw disks "DSK<unit>:" by unit (sim/disk.h).
    std::map<int, Disk> disks;

    // Frame placement and failures of the memory calls (sim/physical_memory.h).
    MemoryKnobs memory;
    // The Nth fallible call fails (sim/failure_injection.h).
    FailureInjection failures;

    bool kernel_mode = false;
    ce::DWORD last_error = 0;

    // Called when a jump routine leaves Windows CE (sim/cpu.cpp); without a
    // handler the routine comes back, as the boot sequence allows for.
    std::function<void(const HandOff&)> on_jump;

  private:
    const DeviceProfile* profile_ = &defaultDeviceProfile();
    std::optional<uint32_t> object_store_bytes_;
    std::filesystem::path root_;
    std::vector<std::u16string> storage_cards_;
};

} // namespace sim

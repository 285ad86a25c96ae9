// The kernel's argument vector and boot-information record, from the Preferences.
#include "boot/boot_info.h"
#include "boot/frame_buffer_info.h"
#include "platform/wince.h"
#include "ui/menu_context.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr ce::UINT kWarningStyle = ce::MB_OK | ce::MB_ICONEXCLAMATION;

// Characters of a text field up to its terminator, never past its array (a
// record read from a file need not be terminated).
size_t fieldLength(const char16_t* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0)
        ++length;
    return length;
}

// Bytes the 8-bit form of `length` wide characters needs; 0 when the platform refuses.
size_t narrowLength(const char16_t* text, size_t length) {
    if (length == 0)
        return 0;
    int needed =
        ce::WideCharToMultiByte(ce::CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    return needed > 0 ? static_cast<size_t>(needed) : 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Appends zero-terminated strings after the vector, storing each string's
// physical address in the next vector slot; nothing ends beyond the room.
class ArgumentWriter {
  public:
    ArgumentWriter(uint32_t* vector, uint32_t vector_paddr, uint32_t room)
        : vector_(vector), strings_(reinterpret_cast<char*>(vector + argument_page::kMaxArguments)),
          strings_paddr_(vector_paddr + argument_page::kMaxArguments * 4),
          space_(room > argument_page::kMaxArguments * 4 ? room - argument_page::kMaxArguments * 4 : 0) {}

    uint32_t count() const { return count_; }

    // False, with nothing written, when the vector is full or the string and its zero byte do not fit.
    bool appendBytes(const char* bytes, size_t length) {
        if (!fits(length))
            return false;
        std::memcpy(strings_ + used_, bytes, length);
        finish(length);
        return true;
    }

    // `prefix` followed by the 8-bit form of `length` wide characters.
    bool appendConverted(const char* prefix, const char16_t* text, size_t length) {
        size_t prefix_length = std::strlen(prefix);
        size_t converted_length = narrowLength(text, length);
        if (length > 0 && converted_length == 0)
            return false;
        if (!fits(prefix_length + converted_length))
            return false;
        std::memcpy(strings_ + used_, prefix, prefix_length);
        if (length > 0 && ce::WideCharToMultiByte(ce::CP_ACP, 0, text, static_cast<int>(length),
                                                  strings_ + used_ + prefix_length,
                                                  static_cast<int>(converted_length), nullptr, nullptr) <= 0)
            return false;
        finish(prefix_length + converted_length);
        return true;
    }

  private:
    bool fits(size_t length) const {
        return count_ < argument_page::kMaxArguments && used_ + length + 1 <= space_;
    }
    void finish(size_t length) {
        strings_[used_ + length] = '\0';
        vector_[count_++] = strings_paddr_ + static_cast<uint32_t>(used_);
        used_ += length + 1;
    }

    uint32_t* vector_;
    char* strings_;
    uint32_t strings_paddr_;
    size_t space_;
    size_t used_ = 0;
    uint32_t count_ = 0;
};

} // namespace

uint32_t MenuContext::setupKernelArgs(uint32_t* vector, uint32_t vector_paddr, uint32_t room) {
    ArgumentWriter arguments(vector, vector_paddr, room);

    bool complete = arguments.appendConverted("", prefs.kernel_name, fieldLength(prefs.kernel_name, 260));

    const struct {
        uint32_t set;
        const char* flag;
    } flags[] = {{prefs.boot_serial, "h"},
                 {prefs.boot_verbose, "v"},
                 {prefs.boot_single, "s"},
                 {prefs.boot_ask_name, "a"},
                 {prefs.boot_debugger, "d"}};
    for (const auto& flag : flags) {
        if (flag.set != 0)
            complete = arguments.appendBytes(flag.flag, 1) && complete;
    }

    switch (prefs.rootfs) {
    case kRootSd:
        complete = arguments.appendBytes("b=sd0", 5) && complete;
        break;
    case kRootMd:
        complete = arguments.appendConverted("m=", prefs.rootfs_file, fieldLength(prefs.rootfs_file, 260)) &&
                   complete;
        break;
    case kRootNfs:
        complete = arguments.appendBytes("b=nfs", 5) && complete;
        break;
    default:
        break;
    }
    if (!complete)
        messageBox(u"Kernel arguments too long.", u"WARNING", kWarningStyle);

    size_t extra_length = fieldLength(prefs.boot_extra, 256);
    size_t extra_bytes = narrowLength(prefs.boot_extra, extra_length);
    char* extra = static_cast<char*>(std::malloc(extra_bytes + 1));
    if (extra == nullptr) {
        messageBox(u"Can't allocate memory for extra kernel options.", u"WARNING", kWarningStyle);
        return arguments.count();
    }
    if (extra_bytes > 0)
        ce::WideCharToMultiByte(ce::CP_ACP, 0, prefs.boot_extra, static_cast<int>(extra_length), extra,
                                static_cast<int>(extra_bytes), nullptr, nullptr);
    extra[extra_bytes] = '\0';

    const char* p = extra;
    while (isBlank(*p))
        ++p;
    while (*p != '\0') {
        const char* end = p;
        while (*end != '\0' && !isBlank(*end))
            ++end;
        if (!arguments.appendBytes(p, static_cast<size_t>(end - p))) {
            messageBox(u"Too many extra kernel options.", u"WARNING", kWarningStyle);
            break;
        }
        p = end;
        while (isBlank(*p))
            ++p;
    }
    std::free(extra);
    return arguments.count();
}

void MenuContext::setupBootInfo(BootInfo* record) {
    FrameBufferInfo frame_buffer(PlatformId{prefs.platform_cpu, prefs.platform_machine});

    std::memset(record, 0, sizeof(BootInfo));
    record->length = BootInfo::kLength;
    record->reserved = 0;
    record->magic = BootInfo::kMagic;
    record->fb_addr = frame_buffer.addr();
    record->fb_type = static_cast<int16_t>(frame_buffer.fbType(prefs.reverse_video != 0));
    record->fb_line_bytes = static_cast<int16_t>(frame_buffer.lineBytes() & 0xFFFF);
    record->fb_width = static_cast<int16_t>(frame_buffer.width() & 0xFFFF);
    record->fb_height = static_cast<int16_t>(frame_buffer.height() & 0xFFFF);
    record->cpu = prefs.platform_cpu;
    record->machine = prefs.platform_machine;

    ce::TIME_ZONE_INFORMATION zone{};
    ce::DWORD zone_id = ce::GetTimeZoneInformation(&zone);
    int32_t bias = 0;
    if (zone_id != ce::TIME_ZONE_ID_INVALID) {
        bias = zone.Bias;
        if (zone_id == ce::TIME_ZONE_ID_DAYLIGHT)
            bias += zone.DaylightBias;
    }
    record->timezone = bias;
}

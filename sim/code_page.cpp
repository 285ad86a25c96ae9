// WideCharToMultiByte over iconv, in the profile's system code page (932 for
// the Japanese models, 1252 otherwise). A character the code page lacks
// becomes the default character '?', as on the device.
#include "platform/wince.h"
#include "sim/handheld.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace {

std::string iconvName(unsigned code_page) {
    return "CP" + std::to_string(code_page);
}

// Converts one UTF-16 character (or surrogate pair) with an open converter;
// false when the code page has no such character.
bool convertOne(iconv_t converter, const char16_t* unit, size_t units, std::string& result) {
    char in[4];
    for (size_t i = 0; i < units; ++i) {
        in[2 * i] = static_cast<char>(unit[i] & 0xFF);
        in[2 * i + 1] = static_cast<char>(unit[i] >> 8);
    }
    char out[8];
    char* in_ptr = in;
    size_t in_left = units * 2;
    char* out_ptr = out;
    size_t out_left = sizeof(out);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1))
        return false;
    result.append(out, out_ptr);
    return true;
}

} // namespace

namespace ce {

int WideCharToMultiByte(UINT code_page, DWORD, const WCHAR* wide, int wide_count, char* narrow,
                        int narrow_size, const char* default_char, BOOL* used_default) {
    sim::Handheld& device = sim::Handheld::get();
    if (wide == nullptr || narrow_size < 0 || (narrow_size > 0 && narrow == nullptr)) {
        device.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    unsigned page = code_page == CP_ACP ? device.profile().code_page : code_page;
    iconv_t converter = iconv_open(iconvName(page).c_str(), "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        device.last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    size_t count =
        wide_count < 0 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wide_count);
    const char* fallback = default_char != nullptr ? default_char : "?";
    std::string result;
    bool defaulted = false;
    for (size_t i = 0; i < count;) {
        size_t units = (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < count) ? 2 : 1;
        if (wide[i] == 0) {
            result += '\0';
        } else if (!convertOne(converter, wide + i, units, result)) {
            result += fallback;
            defaulted = true;
        }
        i += units;
    }
    iconv_close(converter);
    if (used_default != nullptr)
        *used_default = defaulted ? TRUE : FALSE;
    if (narrow_size == 0)
        return static_cast<int>(result.size());
    if (result.size() > static_cast<size_t>(narrow_size)) {
        device.last_error = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    result.copy(narrow, result.size());
    return static_cast<int>(result.size());
}

} // namespace ce

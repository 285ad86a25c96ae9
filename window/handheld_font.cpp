#include "window/handheld_font.h"

#include "sim/handheld.h"
#include "ui/window/wince_shell.h"

namespace {

constexpr unsigned kJapaneseCodePage = 932;

} // namespace

SystemFont systemFontOf(const sim::DeviceProfile& profile) {
    return profile.code_page == kJapaneseCodePage ? SystemFont{L"IPAPGothic", 7} : SystemFont{L"Tahoma", 8};
}

void useTheHandheldsSystemFont() {
    useSystemFont(systemFontOf(sim::Handheld::get().profile()));
}

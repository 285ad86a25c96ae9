// The handheld's system font, which its pages show in: a Japanese machine's
// Windows CE (code page 932: the W-ZERO3 family, the Jornada 720 and 820
// Japanese models) shows its dialogs in a Japanese font, for which IPA Gothic
// (fonts-ipafont-gothic) stands in, in its proportional face, as the
// Japanese system fonts are, at 7 pt, whose letters are as wide as Tahoma
// 8 pt's (the pages keep Tahoma 8 pt's dialog units); every other machine's
// is Tahoma 8 pt.
#pragma once

#include "ui/window/system_font.h"

namespace sim {
struct DeviceProfile;
}

SystemFont systemFontOf(const sim::DeviceProfile& profile);
// The pages made from now on take the simulated handheld's system font.
void useTheHandheldsSystemFont();

// GoogleTest in a Wine program: the library is the Linux one, so its header
// must see Linux, not the Windows that Wine's toolchain announces.
#pragma once

#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("_WIN64")
#pragma push_macro("WIN64")
#undef _WIN32
#undef WIN32
#undef _WIN64
#undef WIN64
#include <gtest/gtest.h>
#pragma pop_macro("WIN64")
#pragma pop_macro("_WIN64")
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN32")

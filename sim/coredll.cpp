// coredll.dll of the simulated handheld: the kernel calls that the loader
// looks up by name rather than importing.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/handheld.h"
#include "sim/physical_memory.h"

namespace {

ce::HMODULE const kCoredll = reinterpret_cast<ce::HMODULE>(static_cast<uintptr_t>(0xC0DE0000));

ce::BOOL getVersionEx(ce::OSVERSIONINFOW* info) {
    return ce::GetVersionExW(info);
}

struct Export {
    const char16_t* name;
    ce::FARPROC function;
};

const Export kExports[] = {
    {u"LockPages", reinterpret_cast<ce::FARPROC>(&sim::LockPages)},
    {u"UnlockPages", reinterpret_cast<ce::FARPROC>(&sim::UnlockPages)},
    {u"GetVersionEx", reinterpret_cast<ce::FARPROC>(&getVersionEx)},
};

bool sameLibrary(const char16_t* name) {
    std::u16string lower;
    for (const char16_t* p = name; *p != 0; ++p)
        lower += (*p >= u'A' && *p <= u'Z') ? static_cast<char16_t>(*p + 32) : *p;
    return lower == u"coredll.dll" || lower == u"coredll";
}

} // namespace

namespace ce {

HMODULE LoadLibraryW(const WCHAR* name) {
    sim::Handheld& device = sim::Handheld::get();
    if (!device.coredll_present || !sameLibrary(name)) {
        device.last_error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    ++device.coredll_loads;
    return kCoredll;
}

FARPROC GetProcAddressW(HMODULE module, const WCHAR* name) {
    sim::Handheld& device = sim::Handheld::get();
    if (module != kCoredll || device.hidden_exports.count(name) != 0)
        return nullptr;
    for (const Export& entry : kExports) {
        if (wideCompare(entry.name, name) == 0)
            return entry.function;
    }
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (module != kCoredll)
        return FALSE;
    ++sim::Handheld::get().coredll_frees;
    return TRUE;
}

} // namespace ce

#include "sim/devices.h"

#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/disk.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"

namespace sim {

namespace {

bool sameDevice(std::u16string_view name, std::u16string_view device) {
    if (name.size() != device.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i] >= u'a' && name[i] <= u'z' ? static_cast<char16_t>(name[i] - 32) : name[i];
        if (c != device[i])
            return false;
    }
    return true;
}

} // namespace

// Device names are three letters, a digit and a colon, without a path.
bool isDeviceName(std::u16string_view name) {
    return name.size() == 5 && name[4] == u':' && name[3] >= u'0' && name[3] <= u'9';
}

ce::HANDLE openDevice(std::u16string_view name, ce::DWORD access) {
    if (sameDevice(name, u"COM1:"))
        return openSerialPort(access);
    if (sameDevice(name.substr(0, 3), u"DSK") && name[3] >= u'1' && name[3] <= u'9')
        return openDisk(name[3] - u'0', access);
    Handheld::get().last_error = ce::ERROR_FILE_NOT_FOUND;
    return ce::INVALID_HANDLE_VALUE;
}

} // namespace sim

namespace ce {

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                     DWORD* returned, void*) {
    sim::DeviceWork device_work;
    if (returned != nullptr)
        *returned = 0;
    sim::KernelObject* object = sim::HandleTable::get().find(device);
    if (object == nullptr) {
        sim::Handheld::get().last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (sim::isDiskObject(object))
        return sim::diskIoControl(object, code, in, in_size, out, out_size, returned);
    // No other device answers control requests.
    sim::Handheld::get().last_error = ERROR_INVALID_PARAMETER;
    return FALSE;
}

} // namespace ce

// COM1: the Windows CE serial driver. Bytes written go to the handheld's
// serial output; the settings live with the device across opens.
#include "platform/wince.h"
#include "sim/devices.h"
#include "sim/handheld.h"
#include "sim/handle_table.h"

namespace sim {

namespace {

class SerialPort : public KernelObject {
  public:
    bool write(const void* buffer, ce::DWORD size, ce::DWORD* done, ce::DWORD*) override {
        Handheld& device = Handheld::get();
        if (device.serial_output)
            device.serial_output(static_cast<const char*>(buffer), size);
        *done = size;
        return true;
    }
    bool read(void*, ce::DWORD, ce::DWORD* done, ce::DWORD*) override {
        *done = 0; // nothing is ever received
        return true;
    }
};

constexpr ce::DWORD kSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                                 19200, 38400, 56000, 57600, 115200, 128000, 230400, 256000};

bool isSupportedSpeed(ce::DWORD speed) {
    for (ce::DWORD supported : kSpeeds) {
        if (speed == supported)
            return true;
    }
    return false;
}

} // namespace

ce::HANDLE openSerialPort(ce::DWORD) {
    Handheld& device = Handheld::get();
    if (!device.com1_present) {
        device.last_error = ce::ERROR_FILE_NOT_FOUND;
        return ce::INVALID_HANDLE_VALUE;
    }
    ++device.com1_opens;
    device.last_error = ce::ERROR_SUCCESS;
    return HandleTable::get().add(std::make_unique<SerialPort>());
}

} // namespace sim

namespace ce {

BOOL GetCommState(HANDLE port, DCB* dcb) {
    sim::Handheld& device = sim::Handheld::get();
    if (sim::HandleTable::get().findAs<sim::SerialPort>(port) == nullptr) {
        device.last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *dcb = device.com1_state;
    return TRUE;
}

BOOL SetCommState(HANDLE port, DCB* dcb) {
    sim::Handheld& device = sim::Handheld::get();
    if (sim::HandleTable::get().findAs<sim::SerialPort>(port) == nullptr) {
        device.last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!sim::isSupportedSpeed(dcb->BaudRate) || dcb->ByteSize < 5 || dcb->ByteSize > 8) {
        device.last_error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    device.com1_state = *dcb;
    return TRUE;
}

} // namespace ce

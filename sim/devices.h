// Stream devices of the simulated handheld, opened by name ("COM1:").
#pragma once

#include "platform/wince_types.h"

#include <string_view>

namespace sim {

bool isDeviceName(std::u16string_view name);
// The invalid handle (with the last error set) when there is no such device.
ce::HANDLE openDevice(std::u16string_view name, ce::DWORD access);
ce::HANDLE openSerialPort(ce::DWORD access);

} // namespace sim

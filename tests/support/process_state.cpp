#include "support/process_state.h"

#include "arch/architecture.h"
#include "boot/boot_context.h"
#include "console/console.h"
#include "ui/menu_context.h"

void forgetProcessState() {
    BootContext::destroyInstance();
    MenuContext::destroyInstance();
    Console::releaseCurrent();
    resetComPort();
    // The version record is the process's: a device of an earlier test must not answer for this one.
    os_version = {};
}

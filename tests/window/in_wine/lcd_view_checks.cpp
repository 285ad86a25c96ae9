// The live screen after the jump: the window's thread shows the LCD while
// the kernel runs on a thread of its own.
#include "window_checks.h"

#include "window/lcd_view.h"

namespace {

// The window closed through the window system while the kernel draws: the
// kernel is stopped, and the view returns only once the kernel's thread has
// ended, so nothing of the view is used after it (the view used to return
// after its wait while the kernel went on with its status and its lock).
TEST_F(WindowChecks, ClosingTheWindowWhileTheKernelRunsStopsItFirst) {
    prefs.safety_message = 0;
    prefs.pause_before_boot = 0;
    window_device::useMachine(prefs, u"HP Jornada 720 (US/UK)");
    window_device::addKernel("moving_bands.elf", "bands.elf");
    set(prefs.kernel_name, u"bands.elf");
    window_device::showKernelAtJump(
        [](const window_device::HandOffTask& task) { return runShowingTheLcd(task, LcdViewOptions{}); });
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  ASSERT_TRUE(window.waitUntil([] { return window_device::jumped(); }, 30000));
                  Sleep(500); // the bands move
                  DWORD_PTR ignored = 0;
                  SendMessageTimeoutW(window.root(), WM_CLOSE, 0, 0, SMTO_NORMAL, 20000, &ignored);
                  EXPECT_TRUE(
                      window.waitUntil([] { return window_device::shownKernel().status >= 0; }, 20000));
              }),
              0);
    window_device::ShownKernel shown = window_device::shownKernel();
    EXPECT_TRUE(shown.ended_before) << "the view returned while the kernel still ran";
    EXPECT_TRUE(shown.stopped_from_outside) << "the kernel ran on to its own end";
    EXPECT_EQ(shown.status, 3);
}

} // namespace

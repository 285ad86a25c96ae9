// Boot, Cancel and auto boot on the root window: the safety question, the
// countdown, a failed boot and a boot that reaches the kernel.
#include "window_checks.h"

#include <string>

namespace {

const char kQuestion[] = "Data in memory will be lost.\nAre you sure?";

// The safety question's icon: a question mark while "Pause Before Boot" is on, otherwise an exclamation mark.
TEST_F(WindowChecks, SafetyQuestionIconFollowsPauseBeforeBoot) {
    for (bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "pause" : "no pause");
        prefs.pause_before_boot = pause;
        EXPECT_EQ(run([&](WindowDriver& window) {
                      window.clickBoot();
                      HWND question = window.waitForBox(L"WARNING");
                      ASSERT_NE(question, nullptr);
                      const int question_icon = 32514,
                                exclamation_icon = 32515; // IDI_QUESTION, IDI_EXCLAMATION
                      HICON shown = window.boxIcon(question);
                      EXPECT_NE(shown, nullptr);
                      EXPECT_EQ(shown, LoadIconW(nullptr,
                                                 MAKEINTRESOURCEW(pause ? question_icon : exclamation_icon)));
                      window.answer(question, IDNO);
                  }),
                  0);
    }
}

TEST_F(WindowChecks, BootAsksTheSafetyQuestionAndOnlyYesBoots) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  EXPECT_EQ(window.boxText(question), kQuestion);
                  window.answer(question, IDNO);
                  EXPECT_TRUE(window.noBoxFor(300));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);

                  window.clickBoot();
                  question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  window.answer(question, IDYES);
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  window.answer(failed, IDOK);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START\r\n"), 1u);
              }),
              0);
}

TEST_F(WindowChecks, NoAnswerSavesNothing) {
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.setText(IDC_KERNEL, "other.gz");
                  window.clickBoot();
                  HWND question = window.waitForBox(L"WARNING");
                  ASSERT_NE(question, nullptr);
                  window.answer(question, IDNO);
              }),
              0);
    EXPECT_EQ(utf16ToUtf8(saved().kernel_name), "missing.gz");
}

TEST_F(WindowChecks, WithoutSafetyMessageBootStartsWithoutQuestion) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  EXPECT_EQ(FindWindowW(L"#32770", L"WARNING"), nullptr);
                  window.answer(failed, IDOK);
                  // The window is usable afterwards: another boot runs.
                  bootAndFail(window);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 2u);
              }),
              0);
}

TEST_F(WindowChecks, SecondBootClickWhileBootRunsStartsNoSecondBoot) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.clickBoot();
                  HWND failed = window.waitForBox(L"BOOT FAILED");
                  ASSERT_NE(failed, nullptr);
                  // The boot is still running (its box is open): Boot again, and the timer's message.
                  // Sent: each returns once handled; a second boot would not return (its box would wait).
                  DWORD_PTR ignored = 0;
                  EXPECT_NE(SendMessageTimeoutW(window.root(), WM_COMMAND, IDC_BOOT, 0, SMTO_NORMAL, 3000,
                                                &ignored),
                            0);
                  EXPECT_NE(SendMessageTimeoutW(window.root(), WM_TIMER, IDT_AUTO_BOOT, 0, SMTO_NORMAL, 3000,
                                                &ignored),
                            0);
                  window.answer(failed, IDOK);
                  EXPECT_TRUE(window.noBoxFor(500));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 1u);
              }),
              0);
}

TEST_F(WindowChecks, AutoBootStartsWithoutTheQuestion) {
    prefs.auto_boot = 1;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  EXPECT_TRUE(window.checked(IDC_AUTO_BOOT));
                  EXPECT_EQ(window.text(IDC_SECONDS), "1");
                  HWND failed = window.waitForBox(L"BOOT FAILED", 5000);
                  ASSERT_NE(failed, nullptr);
                  EXPECT_EQ(FindWindowW(L"#32770", L"WARNING"), nullptr);
                  window.answer(failed, IDOK);
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 1u);
                  EXPECT_TRUE(window.noBoxFor(1500)) << "the timer fires once";
              }),
              0);
}

TEST_F(WindowChecks, KeyPressOrTapCancelsAutoBoot) {
    for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN}) {
        SCOPED_TRACE(message == WM_KEYDOWN ? "key press" : "tap");
        prefs.auto_boot = 1;
        EXPECT_EQ(run([&](WindowDriver& window) {
                      PostMessageW(window.control(IDC_PROGRESS), message,
                                   message == WM_KEYDOWN ? 'A' : MK_LBUTTON, 0);
                      EXPECT_TRUE(window.noBoxFor(1800));
                      EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);
                      // The Boot button still works.
                      window.clickBoot();
                      HWND question = window.waitForBox(L"WARNING");
                      ASSERT_NE(question, nullptr);
                      window.answer(question, IDNO);
                  }),
                  0);
    }
}

// The window is closed while its message loop still runs; the countdown then
// runs out with the loop alive, had closing not ended it, and nothing boots.
TEST_F(WindowChecks, ClosingDuringTheCountdownDoesNotBoot) {
    // A kernel that would boot at once if the countdown went on.
    window_device::addProbeKernel("probe.elf");
    set(prefs.kernel_name, u"probe.elf");
    prefs.pause_before_boot = 0;
    window_device::runKernelAtJump();
    prefs.auto_boot = 1;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.watchBootStarts();
                  // The command bar's close button.
                  HWND bar = window.control(IDC_COMMAND_BAR);
                  ASSERT_NE(bar, nullptr);
                  PostMessageW(GetDlgItem(bar, 1), BM_CLICK, 0, 0);
                  // Waited here, on the driver's thread, while the window's thread may still run its loop.
                  EXPECT_TRUE(window.noBoxFor(2500));
                  EXPECT_EQ(window.bootStartsHandled(), 0);
                  EXPECT_FALSE(window_device::jumped());
                  EXPECT_FALSE(IsWindow(window.root()));
              }),
              0);
    EXPECT_EQ(saved().auto_boot, 1) << "nothing was saved";
    EXPECT_FALSE(window_device::jumped());
}

// A count of seconds whose milliseconds do not fit 32 bits is not a short timer.
TEST_F(WindowChecks, AnAutoBootTooLongForTheTimerWaits) {
    prefs.auto_boot = 4294968; // 4294968000 ms wraps to 704 ms in 32 bits
    EXPECT_EQ(run([&](WindowDriver& window) {
                  EXPECT_TRUE(window.noBoxFor(2000));
                  EXPECT_EQ(countOf(window.text(IDC_OUTPUT), "BOOT START"), 0u);
              }),
              0);
}

TEST_F(WindowChecks, CancelLeavesTheSettingsFileUntouched) {
    window_device::writeSettings(prefs);
    std::string before = window_device::readFile("Storage Card/zandrel.cnf");
    EXPECT_EQ(run([&](WindowDriver& window) {
                  window.setText(IDC_KERNEL, "changed.gz");
                  window.click(IDC_VERBOSE);
                  PostMessageW(window.control(IDC_CANCEL), BM_CLICK, 0, 0);
                  EXPECT_TRUE(window.waitUntil([&] { return !IsWindow(window.root()); }));
              }),
              0);
    EXPECT_EQ(window_device::readFile("Storage Card/zandrel.cnf"), before);
}

TEST_F(WindowChecks, FailedBootThenProbeKernelPassesInTheSameWindow) {
    prefs.safety_message = 0;
    prefs.pause_before_boot = 0;
    // The machine whose screen the window has (640x240): the kernel is told
    // the window's display, and the probe checks it against the machine's LCD.
    window_device::useMachine(prefs, u"HP Jornada 720 (US/UK)");
    window_device::addProbeKernel("probe.elf");
    window_device::runKernelAtJump();
    EXPECT_EQ(run([&](WindowDriver& window) {
                  bootAndFail(window);
                  EXPECT_FALSE(window_device::jumped());
                  EXPECT_EQ(SendMessageW(window.control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);

                  window.setText(IDC_KERNEL, "probe.elf");
                  window.clickBoot();
                  // Here the jump returns (the process lives on for the check), so the boot ends in its box.
                  HWND after_jump = window.waitForBox(L"BOOT FAILED", 30000);
                  ASSERT_NE(after_jump, nullptr);
                  EXPECT_TRUE(window_device::jumped());
                  window.answer(after_jump, IDOK);
                  EXPECT_NE(window.text(IDC_OUTPUT).find("[progress] "), std::string::npos);
              }),
              0);
    EXPECT_EQ(window_device::probeVerdict(), "PASS") << window_device::serialOutput();
}

} // namespace

// The Option page: auto boot and the behaviour switches.
#include "resources/resource.h"
#include "ui/menu_context.h"
#include "ui/window/screen.h"
#include "ui/window/tab_page.h"

#include <commctrl.h>

namespace {

constexpr int kSecondsSize = 32;
constexpr int kExtraSize = 256;
constexpr DWORD kSpinStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | UDS_ALIGNRIGHT | UDS_SETBUDDYINT;

} // namespace

OptionPage::OptionPage(Application& app, TabControl& tabs) : TabPage(app, tabs, 1, L"WOPTION") {}

void OptionPage::init(HWND dialog) {
    TabPage::init(dialog);
    OptionPageForm form;
    form.init(*MenuContext::instance());

    seconds_box_ = item(IDC_SECONDS);
    ScreenMetrics screen = screenMetrics();
    // The up-down takes the right of the seconds box's 24 units: without the
    // edit's margins, two digits still fit beside it.
    SendMessageW(seconds_box_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
    spin_ = CreateUpDownControl(kSpinStyle, screen.x(80), 0, screen.x(50), screen.y(50), hwnd, IDC_SPIN,
                                app.module_instance, seconds_box_, 60, 1, 30);

    EnableWindow(seconds_box_, form.auto_boot);
    EnableWindow(spin_, form.auto_boot);
    check(IDC_AUTO_BOOT, form.auto_boot);
    if (form.auto_boot)
        setText(IDC_SECONDS, form.seconds.c_str());
    check(IDC_REVERSE_VIDEO, form.reverse_video);
    check(IDC_PAUSE, form.pause_before_boot);
    check(IDC_LOAD_DEBUG_INFO, form.load_debug_info);
    check(IDC_SAFETY, form.safety_message);
    setText(IDC_EXTRA, form.boot_extra.c_str());
}

void OptionPage::command(int id, int) {
    if (id != IDC_AUTO_BOOT)
        return;
    EnableWindow(seconds_box_, checked(IDC_AUTO_BOOT));
    EnableWindow(spin_, checked(IDC_AUTO_BOOT));
}

void OptionPage::store() {
    OptionPageForm form;
    form.auto_boot = checked(IDC_AUTO_BOOT);
    form.seconds = text(IDC_SECONDS, kSecondsSize);
    form.reverse_video = checked(IDC_REVERSE_VIDEO);
    form.pause_before_boot = checked(IDC_PAUSE);
    form.load_debug_info = checked(IDC_LOAD_DEBUG_INFO);
    form.safety_message = checked(IDC_SAFETY);
    form.boot_extra = text(IDC_EXTRA, kExtraSize);
    form.store(*MenuContext::instance());
}

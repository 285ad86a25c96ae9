#include "cli/settings_options.h"

#include "platform/wide_string.h"
#include "ui/menu_context.h"

namespace {

void setText(std::u16string& field, const std::optional<std::string>& value) {
    if (value)
        field = utf8ToUtf16(*value);
}

void setFlag(bool& field, const std::optional<bool>& value) {
    if (value)
        field = *value;
}

bool anySettingsOption(const CliOptions& o) {
    return o.dir || o.kernel || o.machine || o.rootfs || o.image || o.verbose || o.single || o.ask_name ||
           o.debugger || o.serial || o.serial_speed || o.extra || o.pause || o.safety || o.reverse_video;
}

} // namespace

void applyToPages(const CliOptions& options, MainPageForm& main, OptionPageForm& option) {
    setText(main.directory, options.dir);
    setText(main.kernel, options.kernel);
    if (options.machine)
        main.platform_selection = main.findPlatform(utf8ToUtf16(*options.machine));
    if (options.rootfs)
        main.rootfs_checked = *options.rootfs;
    setText(main.rootfs_file, options.image);
    setFlag(main.verbose, options.verbose);
    setFlag(main.single, options.single);
    setFlag(main.ask_name, options.ask_name);
    setFlag(main.debugger, options.debugger);
    setFlag(main.serial, options.serial);
    if (options.serial_speed)
        main.speed_text = utf8ToUtf16(std::to_string(*options.serial_speed));
    setText(option.boot_extra, options.extra);
    setFlag(option.pause_before_boot, options.pause);
    setFlag(option.safety_message, options.safety);
    setFlag(option.reverse_video, options.reverse_video);
}

void applyToSettings(const CliOptions& options, MenuContext& menu) {
    if (!anySettingsOption(options))
        return;
    MainPageForm main;
    OptionPageForm option;
    main.init(menu);
    option.init(menu);
    applyToPages(options, main, option);
    main.store(menu);
    option.store(menu);
}

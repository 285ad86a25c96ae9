// The command line's settings options (--dir, --kernel, --machine, the boot
// flags, --extra, ...): what the Main and Option pages start from, in both
// front ends.
#pragma once

#include "cli/options.h"
#include "ui/main_page_form.h"

class MenuContext;

void applyToPages(const CliOptions& options, MainPageForm& main, OptionPageForm& option);
// The same into the settings record, as the pages would store it, when any
// settings option is given: the window's pages then open showing them.
// Nothing is saved until a boot starts.
void applyToSettings(const CliOptions& options, MenuContext& menu);

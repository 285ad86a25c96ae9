// The simulated handheld under the window in the Wine checks. Built by the
// usual compiler (the host's file system and the emulator), called from the
// window checks, which Wine's toolchain builds: only plain types cross.
#pragma once

#include "sim/rgb_image.h"
#include "ui/preferences.h"

#include <functional>

#include <string>

namespace window_device {

// A fresh device: an object store in a temporary folder with one storage
// card, the handheld reset onto it, no settings context or boot context left.
void make();
void remove();
// "\Storage Card\zandrel.cnf"; read answers false when there is none.
void writeSettings(const Preferences& prefs);
bool readSettings(Preferences& prefs);
Preferences defaults();
// A file below the object store ("Storage Card/bootlog.txt"); "" when there is none.
std::string readFile(const std::string& relative_path);
bool fileExists(const std::string& relative_path);
// The probe kernel of the build as "\Storage Card\<name>".
void addProbeKernel(const std::string& name);
// The jump runs the hand-off on Unicorn; its serial output is kept.
void runKernelAtJump();
// The same, with the window's view of the LCD: `show` runs the task (which
// answers 0 when the kernel halted, else 3) and answers its status.
using HandOffTask = std::function<int(const std::function<void(sim::RgbImage)>& on_screen)>;
void showKernelAtJump(std::function<int(const HandOffTask& task)> show);
// Of the last such jump: what `show` answered, whether the kernel's run had
// ended when it did, and whether it was stopped from outside.
struct ShownKernel {
    int status = -1;
    bool ended_before = false;
    bool stopped_from_outside = false;
};
ShownKernel shownKernel();
// A kernel of the build (kernels/<build_name>) as "\Storage Card\<name>".
void addKernel(const std::string& build_name, const std::string& name);
bool jumped();
std::string serialOutput();
void clearSerialOutput();
// The text after "PROBE VERDICT: ", or "".
std::string probeVerdict();
// The handheld becomes the default device's machine, or the one of this
// name, and `prefs` names it.
void useDefaultMachine(Preferences& prefs);
void useMachine(Preferences& prefs, const char16_t* name);
// The machine the handheld is now, by name (UTF-8).
std::string handheldMachine();

} // namespace window_device

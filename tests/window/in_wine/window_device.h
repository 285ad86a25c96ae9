// The simulated handheld under the window in the Wine checks. Built by the
// usual compiler (the host's file system and the emulator), called from the
// window checks, which Wine's toolchain builds: only plain types cross.
#pragma once

#include "ui/preferences.h"

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

// The Windows CE shell calls the window uses that desktop Win32 (and Wine)
// lacks: the command bar. On the device these come from commctrl.h; here they
// are a small layer of ours with the same names and arguments, so the window
// code reads as it does on the device.
#pragma once

#include "ui/window/system_font.h"
#include "ui/window/win32.h"

// The command bar: a strip along the top of the window. On desktop Win32 it
// also makes its parent fill the screen without a caption, as every top-level
// window does on the device.
HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id);
// The standard adornments: the close button, which closes the parent.
BOOL CommandBar_AddAdornments(HWND command_bar, DWORD flags, DWORD reserved);
int CommandBar_Height(HWND command_bar);

// The device's system font, in which its dialogs show: Tahoma 8 pt, or a
// Japanese font on a Japanese machine.
void useSystemFont(const SystemFont& font);

// CreateDialogIndirectParamW as on the device, where a template that names no
// font takes the system font (Tahoma 8 pt's dialog units are about 1.5 by
// 1.6 pixels at 96 dpi). Desktop Win32 gives such a template its larger
// desktop font instead, so the page is made from a copy of the template that
// names Tahoma 8 pt; a system font of another face then shows the controls'
// text (ShowInSystemFontCE), in the places Tahoma's dialog units give. `size` is the template's size in
// bytes.
HWND CreateDialogIndirectParamCE(HINSTANCE instance, const DLGTEMPLATE* dialog_template, DWORD size,
                                 HWND parent, DLGPROC procedure, LPARAM parameter);

// The controls of a page made by CreateDialogIndirectParamCE show their text
// in the system font once this has run, at the start of the page's
// WM_INITDIALOG (a font set later would undo an edit control's margins).
void ShowInSystemFontCE(HWND dialog);

// A tab control's keys as on the device: a key that the parent's TCN_KEYDOWN
// handling takes (it answers nonzero, or moves the focus away) is not the
// control's as well, and on a
// vertical tab control Up and Down select the previous and the next tab, as
// Left and Right do on a row of tabs. The window system's control answers
// every key itself, and only Left and Right.
void TabControlKeysCE(HWND tabs);

// GetNextDlgTabItem from no control, backwards: the dialog's last tab stop on
// the device; desktop Win32 answers none there, so the last one is found as
// the one before the first.
HWND GetLastDlgTabItem(HWND dialog);

// The run's program-wide state (options, exit code, program group folder) and the small platform
// helpers every subsystem shares: message boxes, the Windows version, system-folder libraries and
// dpi-scaled font heights.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr size_t kInitSelectionCapacity = 40;  // characters, terminator included
constexpr size_t kProgramGroupFolderCapacity = 2048;

// Written only by option parsing; fixed once both parse passes (installer, command line) are done.
struct RunOptionsRecord {
  wchar_t InitSelection[kInitSelectionCapacity];  // letter/value pairs for the setup dialog; empty if absent
  bool Silent;      // no questions, no notices; dialogs confirm themselves
  bool MsiMode;     // a Windows Installer package owns the installation
  bool NoExplorer;  // do not open the program group folder after setup
};

extern RunOptionsRecord RunOptions;  // zeroed at start
extern uint32_t ExitCode;            // 0, or 1 when the setup dialog is cancelled
// The program group folder that setup created under the Start menu's Programs folder; empty until then.
extern wchar_t ProgramGroupFolder[kProgramGroupFolderCapacity];

// Published by the entry point for the dialogs (WM_SETICON, the completion dialog's thank-you text).
// Either may be null when loading or creating it failed.
extern HICON ProgramIcon;
extern HFONT BoldDialogFont;

// MessageBoxW, with MB_RIGHT | MB_RTLREADING added when the loaded language reads right to left.
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// The running Windows version as major * 256 + minor (cached after the first call); 0x0501 off the
// NT platform. Never 0.
uint32_t WindowsVersion();

// Loads <system folder>\<fileName> by full path, so a library of that name in the current or
// program folder is never picked up. Null when the folder cannot be read or the library not loaded.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

// A font height given at 96 dpi, scaled to the screen's vertical dpi (read once; while it cannot be
// read the result is 0, the font mapper's default, and the next call tries again).
int32_t ScaledFontHeight(int32_t heightAt96Dpi);
// The arithmetic alone: height * dpi / 96 in 32-bit signed arithmetic, truncated toward zero.
int32_t ScaleFontHeightForDpi(int32_t heightAt96Dpi, int32_t dpi);

// Removes the current folder from the DLL search order (SetDllDirectoryW(L"") when kernel32 has it).
void HardenDllSearchPath();

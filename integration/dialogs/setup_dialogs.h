// The three modal dialogs of setup mode: the integration settings dialog "SETUPDLG", the
// context-menu items dialog "SETUPCONTEXTITEMS" it opens, and the completion dialog "DONEDLG".
// All three are loaded by name from ResourceModule and localized when they initialise.
//
// The procedures read the run record (RunOptions), write ProgramGroupFolder and ExitCode, and
// show the program icon and bold dialog font that the entry point hands them below. They show
// no errors: what the operations they call fail to do stays undone, told only by the log and, for
// an integration that stopped, by ExitCode. They run on the program's one thread; COM must be
// initialised (OleInitialize) before "SETUPDLG" is confirmed, because confirming it creates
// shortcuts, and "riched20.dll" must be loaded before "SETUPDLG" is created (its explanation box
// is a rich edit).
#pragma once

#include <windows.h>

#include <cstddef>

struct IntegrationSettings;

// Set by the entry point before the first dialog runs (the large icon of "SETUPDLG" and "DONEDLG",
// the font of the completion dialog's thank-you text). Either may stay null when loading or
// creating it failed: the dialogs then show without it.
extern HICON g_programIcon;
extern HFONT g_boldDialogFont;

// Resource names of the dialog templates and help topics of the dialogs.
inline constexpr const wchar_t* kSetupDialogName = L"SETUPDLG";
inline constexpr const wchar_t* kContextItemsDialogName = L"SETUPCONTEXTITEMS";
inline constexpr const wchar_t* kDoneDialogName = L"DONEDLG";
inline constexpr const wchar_t* kSetupHelpTopic = L"HELPIntegrationSettings";
inline constexpr const wchar_t* kContextItemsHelpTopic = L"HELPContextItems";

// Capacity, in characters, of the explanatory text of "SETUPDLG" (terminator included).
inline constexpr size_t kSetupExplanationCapacity = 4096;

// The prologue every dialog procedure calls first. dialogName is the template's resource name;
// helpTopic is the dialog's help topic or nullptr for none.
//   WM_SETFONT: mirrors the dialog for a right-to-left language; not handled.
//   WM_INITDIALOG: localizes the dialog; not handled.
//   WM_HELP: help at the topic (if any); handled.
//   WM_COMMAND IDHELP: help at the topic (if any); not handled.
// Returns true when the message was handled completely.
bool HandleCommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t* dialogName,
                               const wchar_t* helpTopic);

// Composes the explanation shown in "SETUPDLG": three blanks, then for strings 5120 to 5124 a
// blank and the string, then "\r\n" with four blanks and string 5125. Cut at capacity - 1
// characters (always terminated; nothing written for capacity 0) when the localized pieces are
// longer than the buffer. Returns the buffer.
wchar_t* ComposeSetupExplanation(wchar_t* buffer, size_t capacity);

// Copies the record into the check boxes of "SETUPDLG" (17 archive types, 3 shortcuts, the 3
// shell flags) and enables 5122 and 5123 only while ShellExt is set. Boxes the dialog lacks are
// passed over.
void ShowSettings(HWND dialog, const IntegrationSettings& settings);
// Sets the same 23 fields to 1 for a checked box and 0 otherwise; the spare positions 17 to 19
// are left as they are.
void ReadSettings(HWND dialog, IntegrationSettings& settings);

// What the entry point gives "SETUPDLG" through the init parameter of DialogBoxParamW (a pointer
// to it, or 0 for nothing). The dialog keeps the pointer while it runs.
struct SetupDialogParameters {
  // Called once when the user confirms, after the boxes were read and before anything is saved or
  // applied (never on cancel). The entry point hands the installer's settings file over there, so
  // that what setup stores lands in the store every later run reads. May be null.
  void (*beforeSaving)();
};

// What "SETUPDLG" ends with after OK when the integration stopped at a refused write.
inline constexpr INT_PTR kSetupStoppedAtRefusedWrite = 2;

// Dialog procedures for DialogBoxParamW. Each returns TRUE for a message it handled.
//   "SETUPDLG" (init parameter: SetupDialogParameters*, or 0): ends with 1 after OK (beforeSaving
//     called; settings saved and applied, uninstall entry written unless MsiMode, ".ace"
//     released); with kSetupStoppedAtRefusedWrite after OK when ApplyIntegration stopped early
//     (beforeSaving called, settings saved, what the integration wrote before stays, no uninstall
//     entry, ".ace" released; ExitCode set to kExitIntegrationRefused); with 0 on cancel, which
//     sets ExitCode to 1. With Silent it confirms itself as soon as it is initialised.
//     Context-menu items that "SETUPCONTEXTITEMS" stored in the registry during this dialog
//     follow into a settings file that comes into use in beforeSaving, and leave the registry.
//   "SETUPCONTEXTITEMS": OK stores the 19 items and "AlwaysArc" at once and ends with 1; cancel
//     ends with 0 and stores nothing.
//   "DONEDLG": ends with 1; with Silent it closes itself as soon as it is initialised.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Localized strings and dialogs: the text of a string ID, a dialog's control labels, caption and
// size, and right-to-left window layout.
//
// A string or a dialog control can be overridden by the language file ("uninstall.lng") only when
// it is listed in LanguageKeyTable, which ties the numeric resource IDs to the names the file uses.
// Everything else comes from the resources: first ResourceModule (the language library, or the
// program), then the program's own module.
//
// Single-threaded: the rotating buffers of LocalizedString are shared without locking.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// One localizable string or dialog control.
struct LanguageKey {
  uint32_t id;       // string ID ("s:" keys) or the control's ID in its dialog ("$DIALOG:" keys)
  const char* name;  // the full language-file key, e.g. "s:IDS_UNINSTTITLE", "$SETUPDLG:IDOK"
};

// The key table in its fixed order: the string keys, then "SETUPDLG", "DONEDLG" and
// "SETUPCONTEXTITEMS". A name's prefix is its text before the first colon ("s", "$SETUPDLG", ...).
constexpr size_t LanguageKeyCount = 96;
extern const LanguageKey LanguageKeyTable[LanguageKeyCount];

// Capacity of a key buffer (FindStringKey) and of a formatted dialog key, in bytes.
constexpr size_t LanguageKeyBufferSize = 80;
// Capacity of each rotating buffer of LocalizedString, in characters.
constexpr size_t LocalizedStringCapacity = 1024;

// ---- Key-ID index (kept by the LanguageTable, prepared when the language file is opened) ----

// Orders two key-table positions by prefix (byte-wise, ascending), then by ID (unsigned).
bool KeyIdIndexLess(uint64_t firstPosition, uint64_t secondPosition);
// Writes all LanguageKeyCount key-table positions into `positions`, sorted by KeyIdIndexLess.
void BuildKeyIdIndex(uint64_t* positions);
// Halving search of a key-ID index (sorted by KeyIdIndexLess) for the key with that prefix (the
// name's text before its first colon, e.g. "s") and ID. Returns the key-table position, or
// LanguageKeyCount when there is none.
size_t SearchKeyIdIndex(const uint64_t* positions, size_t count, const char* prefix, uint32_t id);

// ---- Strings ----

// True, with the key's name copied into `key` (LanguageKeyBufferSize bytes), when the key table
// has a string ("s") key with this ID. False, leaving `key` untouched, when the LanguageTable holds
// no entries or the ID has no string key.
[[nodiscard]] bool FindStringKey(uint32_t id, char* key);

// Fills `buffer` with the text of string `id` and returns `buffer`. Sources in order: the language
// file (only for IDs in the key table; an empty text found there is the result), ResourceModule,
// the program's own module. A string in none of them gives an empty text. The text is cut to
// capacity - 1 characters and always terminated; capacity 0 writes nothing.
wchar_t* LocalizedStringInto(uint32_t id, wchar_t* buffer, size_t capacity);

// The program's own text of string `id` (the base language built into the executable), whatever
// language is loaded; empty when the program has no such string. Cut and terminated as above.
wchar_t* ProgramStringInto(uint32_t id, wchar_t* buffer, size_t capacity);

// The text of string `id` (as LocalizedStringInto) in the next of eight rotating buffers of
// LocalizedStringCapacity characters: it stays valid until eight further calls, so up to eight
// results may be held at once (e.g. as the arguments of one formatted message).
const wchar_t* LocalizedString(uint32_t id);

// ---- Dialogs ----

// The language-file text of "$<dialogName>:<itemName>" (the key formed in 80 wide characters and
// converted to the ANSI code page) into `buffer` (cut to capacity - 1, terminated). True when the
// language file has that key, even with an empty text; false leaves `buffer` empty when capacity
// allows.
[[nodiscard]] bool FindDialogText(const wchar_t* dialogName, const wchar_t* itemName, wchar_t* buffer,
                                  size_t capacity);

// Horizontal and vertical percentages of a dialog's "SIZE" entry ("<X>*<Y>").
struct DialogScale {
  int x = 100;
  int y = 100;
};
// Reads a SIZE text: X from the start, Y after the first asterisk; each an optional minus sign and
// decimal digits up to the first non-digit, no blanks skipped, no digits giving 0. True (and the
// scale written) only when the text has an asterisk, X > 0, Y > 0 and not both are 100; otherwise
// false and `scale` untouched.
[[nodiscard]] bool ParseDialogScale(const wchar_t* sizeText, DialogScale* scale);

// A window placement: left, top (screen coordinates for a dialog, client coordinates of the
// dialog for a child), width and height. 32-bit signed arithmetic, truncating divisions.
struct WindowPlacement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};
// The frame measures of a dialog before scaling: NX = W - client.right and NY = H - client.bottom,
// where W and H are the window rectangle's width and height plus one.
struct DialogFrame {
  int nx = 0;
  int ny = 0;
};
DialogFrame MeasureDialogFrame(const RECT& window, const RECT& client);
// The dialog's new placement. A centred dialog (DS_CENTER) gets a left/top that keeps it centred
// (never negative); `centred` false still computes them, but LocalizeDialog then does not move it.
WindowPlacement ScaleDialogPlacement(const RECT& window, const RECT& client, DialogScale scale);
// A child's new placement in client coordinates of the dialog, from its window rectangle, the
// dialog's window rectangle after resizing, the frame of the dialog before resizing and
// F = GetSystemMetrics(SM_CYDLGFRAME). `droppedListHeight` (a drop-down combo box's list height,
// bottom - top + 1; 0 for everything else) is scaled and added to the height.
// In a mirrored dialog (WS_EX_LAYOUTRTL) client x runs from the right edge, so x is measured from
// the dialog's right side (R.right - NX / 2 - child.right); otherwise every control would change
// sides when a right-to-left language scales its dialogs.
WindowPlacement ScaleChildPlacement(const RECT& child, const RECT& dialogWindow, DialogFrame frame,
                                    int dialogFrameMetric, DialogScale scale, int droppedListHeight,
                                    bool mirrored = false);

// Applies the language file's texts for the dialog's key-table controls, its "SIZE" (dialog and
// its first 512 direct children scaled) and its "CAPTION". Called on WM_INITDIALOG with the
// dialog's resource name ("SETUPDLG", "DONEDLG", "SETUPCONTEXTITEMS"). A dialog without language
// entries is left as it is; controls the dialog lacks are skipped.
void LocalizeDialog(HWND dialog, const wchar_t* dialogName);

// When RightToLeft is set: adds WS_EX_LAYOUTRTL to the window's extended style (called on
// WM_SETFONT, before the dialog is shown). Otherwise nothing.
void SetRtlLayout(HWND window);
// When RightToLeft is set: removes WS_EX_RTLREADING from the window's extended style (for edit
// fields that hold file masks). Otherwise nothing.
void ClearRtlReading(HWND window);

// The template language file for translators: every key of the language key table with the text
// the program shows in its base language, read from a module's own string table and dialog
// templates. Loading the template as "uninstall.lng" changes nothing the user sees.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The template's text: a header for translators, the marker, a STRINGS section with every string
// key and its text from `module`'s string table, then per dialog of the key table a DIALOG section
// with the dialog's CAPTION and every key-table control with its text from `module`'s dialog
// template, and a DIRECTION section. Every value is quoted and escaped so that it reads back
// exactly (backslashes, tabs, line breaks, leading and trailing blanks). A string the module lacks,
// or a control its dialog lacks, is listed as a comment line. Lines end with CR LF.
std::wstring BuildLanguageTemplate(HMODULE module);

// The same text written to `path` as UTF-16 little-endian with a byte-order mark, so that every
// character survives whatever the translator's ANSI code page is. Overwrites an existing file.
[[nodiscard]] bool WriteLanguageTemplate(HMODULE module, const wchar_t* path);

// A value as the language file writes it: in double quotes, with backslash, CR, LF and tab escaped.
std::wstring QuoteLanguageValue(const std::wstring& text);

// The texts of a dialog template resource (classic or extended form): its caption and, per
// control, its ID and title text (ordinal titles such as icon references are skipped).
struct DialogTemplateTexts {
  bool found = false;  // the dialog resource exists and parsed
  std::wstring caption;
  struct Control {
    DWORD id;
    std::wstring text;
  };
  std::vector<Control> controls;
};
DialogTemplateTexts ReadDialogTemplateTexts(HMODULE module, const wchar_t* dialogName);

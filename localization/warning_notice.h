// The notice that the program file survived the removal and should be deleted by hand: string
// 5107, a line feed, then string 5108 with the program path as its only argument, captioned by
// string 5106. The self-removal batch file asks for it ("-warning"); the uninstaller shows it
// itself when the batch file cannot name the program.
#pragma once

#include <cstddef>

constexpr size_t kWarningNoticeTextCapacity = 512;  // each saved text, and the composed message

// The notice's texts in the loaded language, copied so that they outlive the language library.
struct WarningNoticeTexts {
  wchar_t completed[kWarningNoticeTextCapacity];     // 5107
  wchar_t shouldDelete[kWarningNoticeTextCapacity];  // 5108, a format with one %s
  wchar_t caption[kWarningNoticeTextCapacity];       // 5106
};

// Copies the three texts of the loaded language (LocalizedString) into `texts`.
void SaveWarningNoticeTexts(WarningNoticeTexts& texts);

// Shows the notice naming programPath (the message cut to kWarningNoticeTextCapacity characters)
// in an information box. Shown whatever the silent switch says: callers decide.
void ShowWarningNotice(const WarningNoticeTexts& texts, const wchar_t* programPath);

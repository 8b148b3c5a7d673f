#include "localization/warning_notice.h"

#include <windows.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "localization/localized_strings.h"
#include "localization/message_box.h"
#include "resources/resource_ids.h"

void SaveWarningNoticeTexts(WarningNoticeTexts& texts) {
  CopyBounded(texts.completed, LocalizedString(IDS_UNINSTALLCOMPLETED), kWarningNoticeTextCapacity);
  CopyBounded(texts.shouldDelete, LocalizedString(IDS_UNINSTALLSHOULDDELETE), kWarningNoticeTextCapacity);
  CopyBounded(texts.caption, LocalizedString(IDS_UNINSTALLVOK), kWarningNoticeTextCapacity);
}

void ShowWarningNotice(const WarningNoticeTexts& texts, const wchar_t* programPath) {
  wchar_t message[kWarningNoticeTextCapacity] = {};
  // Both halves are translatable sentences; the second carries the program path as its only argument.
  CopyBounded(message, texts.completed, kWarningNoticeTextCapacity);
  AppendBounded(message, L"\n", kWarningNoticeTextCapacity);
  const size_t used = wcslen(message);
  FormatWithArgument(message + used, kWarningNoticeTextCapacity - used, texts.shouldDelete, programPath);
  ShowMessage(nullptr, message, texts.caption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

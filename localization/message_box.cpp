#include "localization/message_box.h"

#include "localization/language.h"

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (RightToLeft) flags |= MB_RIGHT | MB_RTLREADING;
  return MessageBoxW(owner, text, caption, flags);
}

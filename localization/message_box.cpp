#include "localization/message_box.h"

#include "base/run_log.h"
#include "localization/language.h"

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (RightToLeft) flags |= MB_RIGHT | MB_RTLREADING;
  const int answer = MessageBoxW(owner, text, caption, flags);
  // The answer as MessageBoxW gives it: 1 OK, 6 Yes, 7 No; 0 when the box could not be shown.
  LogLine("message shown: \"%s\" -> answer %u", text, static_cast<unsigned>(answer));
  return answer;
}

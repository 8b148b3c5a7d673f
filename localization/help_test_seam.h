// TEST-ONLY. Nothing in the product includes this header or holds its code: localization/help.cpp
// has the hooks only when compiled with VOK_TEST_SEAMS, as the copy linked into the test programs
// is (tests/support).
#pragma once

#include <windows.h>

#include "localization/help.h"

struct HelpTestHooks {
  // Called instead of the resolved entry point when not null; it receives the resolved one in
  // realEntry so that it can forward.
  HWND (*htmlHelp)(HtmlHelpEntry realEntry, HWND owner, const wchar_t* pathOrUrl, UINT command,
                   DWORD_PTR data) = nullptr;
  // Stands in for the program's own path (GetModuleFileNameW) when not null.
  const wchar_t* programPath = nullptr;
  // Called instead of loading "hhctrl.ocx" from the system folder when not null.
  HMODULE (*loadHelpLibrary)() = nullptr;
};

// Installs hooks (null: none) and forgets the cached help state (the library handle, which stays
// loaded, the entry point, the path and the retry flag), so that the next ShowHelp starts afresh.
void SetHelpTestHooks(const HelpTestHooks* hooks);

// TEST-ONLY. Nothing in the product includes this header or holds its code:
// integration/default_apps.cpp has the hooks only when compiled with VOK_TEST_SEAMS, as the copy
// linked into the test programs is (tests/support).
//
// Wine keeps no choice of an app per extension (UserChoice) and answers AssocQueryStringW from the
// class keys alone, so "chosen in Windows" cannot be provoked there; and a test must not open the
// Settings app or the control panel.
#pragma once

#include <windows.h>
#include <shlwapi.h>

struct DefaultAppsTestHooks {
  // Called instead of AssocQueryStringW when not null, with the same arguments and result.
  HRESULT (*queryAssociation)(ASSOCF flags, ASSOCSTR what, const wchar_t* association, const wchar_t* extra,
                              wchar_t* answer, DWORD* answerLength) = nullptr;
  // Called instead of ShellExecuteW when not null: receives what would be opened (parameters null
  // for an address) and stands for its success.
  bool (*open)(const wchar_t* target, const wchar_t* parameters) = nullptr;
};

// Installs hooks (null: none).
void SetDefaultAppsTestHooks(const DefaultAppsTestHooks* hooks);
